// SPDX-License-Identifier: MIT
// The settings window offscreen: load steps, the option rule, the buttons, the
// program dialog, its filter and the dialog itself, the second instance and the
// captions' room.
#include "ToolTestSupport.h"

#include "common/dialogs/OpenFileDialog.h"
#include "platform/QtTranslations.h"
#include "settings-tool/InstanceLock.h"

#include <QComboBox>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace korvane::tool {
namespace {

using KVNsetWindow = testing::ToolTest;
using testing::Message;
namespace fs = std::filesystem;
using namespace std::string_view_literals;

TEST_F(KVNsetWindow, WithoutSettingsFileLoadsUntickedAndBothWaysOfClosingWriteNothing) {
  for (bool closeBox : {false, true}) {
    auto w = open();
    ASSERT_TRUE(loaded);  // the entries and Text1 load as the association runs show
    EXPECT_EQ(ticks(w->Check), std::vector<bool>(7, false));
    w->show();
    QSignalSpy finished(w.get(), &QDialog::finished);  // the program ends on it
    w->Check[0]->click();
    closeBox ? (void)w->close() : w->Command2->click();
    EXPECT_EQ(finished.count(), 1);
  }
  EXPECT_FALSE(fs::exists(ini()));
}

TEST_F(KVNsetWindow, LoadShowsStoredValuesAndSetWritesAllSevenAsTicked) {
  const std::string records = "[KeepConnect]\r\n.avi=1\r\n.rm=2\r\n.ram=1\r\n=1\r\n";
  testing::spit(ini(), "[Korvane RP 3]\r\nAlwaysFront=1\r\nOriginalFit=2\r\nNotWindowsXP=-1\r\n"
                           "ScreenInfoSave=yes\r\nNotMultiStart=1\r\nNotPlayInfoDisplay=0\r\n" + records);
  auto w = open();
  // NotMultiStart=1 beside NotPlayInfoDisplay=0 is shown as stored: no rule at load.
  EXPECT_EQ(ticks(w->Check), (std::vector<bool>{true, false, false, false, true, false, false}));
  EXPECT_EQ(ticks(w->kanren1), (std::vector<bool>{true, false, false, false, false, false, false,
                                                  false, false, false, true, true}));

  w->kanren1[1]->click();  // boxes alone write no records
  w->Command1->click();  // and it ends the way "閉じる" does
  EXPECT_EQ(testing::slurp(ini()), "[Korvane RP 3]\r\nAlwaysFront=1\r\nOriginalFit=0\r\nNotWindowsXP=0\r\n"
                                   "ScreenInfoSave=0\r\nNotMultiStart=1\r\nNotPlayInfoDisplay=0\r\nResumePlay=0\r\n" +
                                       records);
}

TEST_F(KVNsetWindow, SingleInstanceTickForcesTitleInfoOffWithMessage) {
  auto w = open();
  w->Check[4]->click();
  EXPECT_EQ(messages, (std::vector<Message>{{QStringLiteral("多重起動を防止する場合はタイトルバー再生情報を"
                                                            "非表示に設定する必要があります。"),
                                             QMessageBox::Information}}));
  EXPECT_TRUE(w->Check[5]->isChecked());
  w->Check[5]->click();  // an attempt to untick it is undone
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_TRUE(w->Check[5]->isChecked());
  w->Check[4]->click();  // unticking single instance says nothing
  w->Check[4]->click();  // and ticking it with the other box ticked neither
  EXPECT_EQ(messages.size(), 2u);
}

TEST_F(KVNsetWindow, CancelledProgramDialogEmptiesPathWhichBothAssociationButtonsRefuse) {
  testing::spit(ini(), "[KeepConnect]\n.avi=1\n");
  auto w = open();
  dialogs::OpenFileRequest seen;
  dialogs::setOpenFileProvider([&](const dialogs::OpenFileRequest& r) {
    seen = r;
    return std::string();
  });
  w->Command5->click();
  dialogs::setOpenFileProvider({});
  EXPECT_TRUE(w->Text1->text().isEmpty());
  EXPECT_EQ(seen.owner, w.get());
  EXPECT_EQ(seen.qtFilter, QStringLiteral("プログラムファイル (*)"));
  w->Command3->click();
  w->Command4->click();
  const Message choose{QStringLiteral("関連付けするプログラムを選んでください"), QMessageBox::NoIcon};
  EXPECT_EQ(messages, (std::vector<Message>{choose, choose}));
  EXPECT_FALSE(fs::exists(storeFile()));  // either run, with avi ticked, would have written it
}

// The lock refuses a second holder until the first ends; a second instance says so and ends.
TEST_F(KVNsetWindow, SecondInstanceShowsMessageAndEnds) {
  otherInstance = true;
  open();
  EXPECT_FALSE(loaded);
  EXPECT_EQ(messages, (std::vector<Message>{{QStringLiteral("既に起動されています。"), QMessageBox::Information}}));
  ::setenv("XDG_RUNTIME_DIR", scratch.c_str(), 1);
  {
    InstanceLock first("KorvaneRP3set");
    EXPECT_TRUE(first.acquired());
    EXPECT_FALSE(InstanceLock("KorvaneRP3set").acquired());
  }
  EXPECT_TRUE(InstanceLock("KorvaneRP3set").acquired());
}

// Every caption whole in its box where the form puts it, at 96 dpi and, in a run of this same
// test, at twice the scale.
TEST_F(KVNsetWindow, EveryCaptionFitsItsBox) {
  auto w = open();
  std::vector<QCheckBox*> boxes(w->Check.begin(), w->Check.end());
  boxes.insert(boxes.end(), w->kanren1.begin(), w->kanren1.end());
  for (QCheckBox* c : boxes) EXPECT_LE(c->sizeHint().width(), c->width()) << c->text().toStdString();
  if (qEnvironmentVariableIsSet("KORVANE_SCALED_RUN")) return;
  QProcess scaled;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_SCALE_FACTOR", "2");
  env.insert("KORVANE_SCALED_RUN", "1");
  scaled.setProcessEnvironment(env);
  scaled.setProcessChannelMode(QProcess::MergedChannels);
  scaled.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=KVNsetWindow.EveryCaptionFitsItsBox"});
  ASSERT_TRUE(scaled.waitForFinished(60000));
  EXPECT_EQ(scaled.exitCode(), 0) << scaled.readAll().toStdString();
}

// Qt's own buttons in the user's language, from the system's translations.
TEST(QtTranslations, JapaneseDesktopGetsJapaneseButtons) {
  testing::ensureApp();
  ASSERT_TRUE(platform::installQtTranslations(*QCoreApplication::instance(), QLocale(QLocale::Japanese)));
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
}

// The dialog's filter, shared with the players: pairs in Qt's form, "*.*" as every
// file, and letters in both cases, since a native dialog may match case-sensitively.
TEST(OpenFileFilter, PairsBecomeQtEntriesWithCaseFreePatterns) {
  EXPECT_EQ(dialogs::qtFilterFromPairs("Clips(*.avi;*.Mp3)\0*.avi;*.Mp3\0All\0*.*\0\0Ignored\0*.x\0"sv),
            QStringLiteral("Clips(*.avi;*.Mp3) (*.[aA][vV][iI] *.[mM][pP]3);;All (*)"));
}

// The dialog itself on a scratch folder: folders first, then the files of the chosen type in
// natural order, dot names left out, a name that is not UTF-8 listed and returned as its
// bytes; a typed name goes into a folder or opens a file; the next dialog starts where the
// last choice was made; Escape returns nothing.
TEST_F(KVNsetWindow, OpenFileDialogListsEveryNameAndReturnsItsBytes) {
  const fs::path dir = scratch / "clips";
  fs::create_directories(dir / "b folder");
  for (const char* name : {"\xff.wav", "a10.WAV", "a9.wav", "notes.txt", ".hidden.wav"}) testing::spit(dir / name, "x");
  const auto onDialog = [](std::function<void(QDialog&)> act) {
    QTimer::singleShot(0, [act] {
      auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      ASSERT_TRUE(d);
      EXPECT_EQ(d->windowTitle(), dialogs::kOpenFileTitle);
      act(*d);
    });
  };
  const auto names = [](QDialog& d) {
    QStringList out;
    auto* list = d.findChild<QTreeWidget*>();
    for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(0);
    return out;
  };
  const auto filter = "Sound\0*.wav\0All\0*.*\0"sv;
  QStringList listed, all;
  onDialog([&](QDialog& d) {
    auto* folder = d.findChild<QLineEdit*>("folder");
    folder->setText(QString::fromStdString(dir.string()));
    QTest::keyClick(folder, Qt::Key_Return);
    listed = names(d);
    auto* list = d.findChild<QTreeWidget*>();
    list->setCurrentItem(list->topLevelItem(3));
    QTest::keyClick(list, Qt::Key_Return);
  });
  EXPECT_EQ(OpenFileDialog(nullptr, filter), (dir / "\xff.wav").string());
  EXPECT_EQ(listed, (QStringList{"b folder", "a9.wav", "a10.WAV", QStringLiteral("\uFFFD.wav")}));

  QString inside;
  onDialog([&](QDialog& d) {
    d.findChild<QComboBox*>()->setCurrentIndex(1);
    all = names(d);
    auto* name = d.findChild<QLineEdit*>("name");
    name->setText("b folder");
    QTest::keyClick(name, Qt::Key_Return);
    inside = d.findChild<QLineEdit*>("folder")->text();
    name->setText("../notes.txt");
    QTest::keyClick(name, Qt::Key_Return);
  });
  EXPECT_EQ(OpenFileDialog(nullptr, filter), (dir / "notes.txt").string());
  EXPECT_EQ(all.size(), 5);
  EXPECT_TRUE(all.contains("notes.txt"));
  EXPECT_EQ(inside, QString::fromStdString((dir / "b folder").string()));

  onDialog([&](QDialog& d) { QTest::keyClick(d.findChild<QTreeWidget*>(), Qt::Key_Escape); });
  EXPECT_EQ(OpenFileDialog(nullptr, filter), "");
}

}  // namespace
}  // namespace korvane::tool
