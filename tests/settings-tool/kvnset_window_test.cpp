// SPDX-License-Identifier: MIT
// The settings window offscreen: load steps, the option rule, the buttons, the
// program dialog, the second instance and the designed layout.
#include "ToolTestSupport.h"

#include "common/dialogs/OpenFileDialog.h"
#include "settings-tool/InstanceLock.h"
#include "settings/ProfileFile.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace korvane::tool {
namespace {

using testing::Message;
using testing::readAll;
using testing::writeAll;

const QString kRule =
    QStringLiteral("多重起動を防止する場合はタイトルバー再生情報を非表示に設定する必要があります。");
const QString kChoose = QStringLiteral("関連付けするプログラムを選んでください");

class KVNsetWindow : public ::testing::Test {
 protected:
  void SetUp() override { testing::ensureApp(); }
  std::unique_ptr<KVNset> open() {
    auto w = std::make_unique<KVNset>(t.environment());
    loaded = w->Form_Load();
    return w;
  }
  std::string option(const char* key) {
    return settings::profileString("Korvane RP 3", key, "<missing>", t.ini());
  }
  testing::ToolFixtureState t;
  bool loaded = false;
};

TEST_F(KVNsetWindow, LoadsWithoutSettingsFileUntickedAndPointsAtStandardPlayer) {
  auto w = open();
  ASSERT_TRUE(loaded);
  for (QCheckBox* c : w->Check) EXPECT_FALSE(c->isChecked()) << c->text().toStdString();
  for (QCheckBox* c : w->kanren1) EXPECT_FALSE(c->isChecked());
  EXPECT_EQ(w->Text1->text().toStdString(), (t.toolDir() / "KorvaneRP3LX").string());
  EXPECT_TRUE(w->Text2->text().isEmpty());
  EXPECT_TRUE(t.messages.empty());
  EXPECT_FALSE(std::filesystem::exists(t.ini()));
}

TEST_F(KVNsetWindow, LoadTicksOnlyExactOnesAndRunsNoOptionRule) {
  writeAll(t.ini(),
           "[Korvane RP 3]\r\nAlwaysFront=1\r\nOriginalFit=2\r\nNotWindowsXP=-1\r\n"
           "ScreenInfoSave=yes\r\nNotMultiStart=1\r\nNotPlayInfoDisplay=0\r\nResumePlay=1\r\n"
           "[KeepConnect]\r\n.avi=1\r\n.rm=2\r\n.ram=1\r\n=1\r\n");
  auto w = open();
  std::vector<bool> ticks;
  for (QCheckBox* c : w->Check) ticks.push_back(c->isChecked());
  EXPECT_EQ(ticks, (std::vector<bool>{true, false, false, false, true, false, true}));
  // Stored NotMultiStart=1 with NotPlayInfoDisplay=0 is shown as it is.
  EXPECT_TRUE(t.messages.empty());
  std::vector<bool> entries;
  for (QCheckBox* c : w->kanren1) entries.push_back(c->isChecked());
  EXPECT_EQ(entries, (std::vector<bool>{true, false, false, false, false, false, false, false,
                                        false, false, true, true}));
  EXPECT_TRUE(w->Text2->text().isEmpty());

  // A value 2 shows unticked, so "設定" writes "0" for it; every key is written.
  w->Command1->click();
  EXPECT_EQ(option("AlwaysFront"), "1");
  EXPECT_EQ(option("OriginalFit"), "0");
  EXPECT_EQ(option("NotWindowsXP"), "0");
  EXPECT_EQ(option("ScreenInfoSave"), "0");
  EXPECT_EQ(option("NotMultiStart"), "1");
  EXPECT_EQ(option("NotPlayInfoDisplay"), "0");
  EXPECT_EQ(option("ResumePlay"), "1");
  EXPECT_EQ(settings::profileString("KeepConnect", ".rm", "", t.ini()), "2");
}

TEST_F(KVNsetWindow, TickingSingleInstanceForcesTitleInfoOffWithMessage) {
  auto w = open();
  w->Check[4]->click();
  ASSERT_EQ(t.messages, (std::vector<Message>{{kRule, QMessageBox::Information}}));
  EXPECT_TRUE(w->Check[5]->isChecked());

  // Unticking the title-bar box again is undone, with the message again.
  w->Check[5]->click();
  EXPECT_EQ(t.messages.size(), 2u);
  EXPECT_TRUE(w->Check[5]->isChecked());

  // With both ticked, other boxes and unticking single instance say nothing.
  w->Check[0]->click();
  w->Check[4]->click();
  EXPECT_EQ(t.messages.size(), 2u);
  EXPECT_FALSE(w->Check[4]->isChecked());
  EXPECT_TRUE(w->Check[5]->isChecked());
}

TEST_F(KVNsetWindow, OptionRuleSilentWhenTitleInfoAlreadyOffAndFollowsKeyboard) {
  auto w = open();
  w->Check[5]->click();
  w->Check[4]->click();
  EXPECT_TRUE(t.messages.empty());
  w->Check[4]->click();  // untick
  w->Check[5]->click();  // untick
  w->show();
  w->Check[4]->setFocus();
  QTest::keyClick(w->Check[4], Qt::Key_Space);
  EXPECT_TRUE(w->Check[4]->isChecked());
  EXPECT_EQ(t.messages.size(), 1u);
  EXPECT_TRUE(w->Check[5]->isChecked());
}

TEST_F(KVNsetWindow, SetWritesAllSevenKeysAndEndsWithoutTouchingRecords) {
  writeAll(t.ini(), "; mine\r\n[KeepConnect]\r\n.avi=1\r\n");
  auto w = open();
  w->show();
  w->Check[2]->click();
  w->kanren1[1]->click();  // boxes alone write no records
  w->Command1->click();
  const char* keys[] = {"AlwaysFront", "OriginalFit", "NotWindowsXP", "ScreenInfoSave",
                        "NotMultiStart", "NotPlayInfoDisplay", "ResumePlay"};
  for (const char* k : keys) EXPECT_EQ(option(k), std::string(k) == "NotWindowsXP" ? "1" : "0") << k;
  EXPECT_EQ(readAll(t.ini()).rfind("; mine\r\n[KeepConnect]\r\n.avi=1\r\n[Korvane RP 3]\r\n", 0), 0u);
  EXPECT_EQ(settings::profileString("KeepConnect", ".rm", "<none>", t.ini()), "<none>");
  EXPECT_TRUE(w->ended());
  EXPECT_FALSE(w->isVisible());
  EXPECT_TRUE(t.messages.empty());
}

TEST_F(KVNsetWindow, CloseButtonAndCloseBoxWriteNothing) {
  const std::string before = "[Korvane RP 3]\nAlwaysFront=2\n";
  writeAll(t.ini(), before);
  {
    auto w = open();
    w->show();
    w->Check[0]->click();
    w->Command2->click();
    EXPECT_TRUE(w->ended());
    EXPECT_FALSE(w->isVisible());
  }
  {
    auto w = open();
    w->show();
    w->Check[1]->click();
    w->close();
    EXPECT_TRUE(w->ended());
  }
  EXPECT_EQ(readAll(t.ini()), before);
  EXPECT_FALSE(std::filesystem::exists(t.store()));
}

TEST_F(KVNsetWindow, EmptyProgramPathRefusesBothAssociationButtons) {
  writeAll(t.ini(), "[KeepConnect]\n.avi=1\n");
  auto w = open();
  w->Text1->clear();
  w->kanren1[2]->setChecked(true);
  w->Command3->click();
  w->Command4->click();
  EXPECT_EQ(t.messages, (std::vector<Message>{{kChoose, QMessageBox::NoIcon},
                                              {kChoose, QMessageBox::NoIcon}}));
  EXPECT_FALSE(std::filesystem::exists(t.store()));
  EXPECT_EQ(readAll(t.ini()), "[KeepConnect]\n.avi=1\n");
  EXPECT_EQ(t.storeFollowed, 0);
  // A path of blanks is a path.
  w->Text1->setText(QStringLiteral("  "));
  w->Command3->click();
  EXPECT_EQ(t.messages.back().text, QStringLiteral("関連付け設定しました"));
}

class ProgramDialog : public KVNsetWindow {
 protected:
  void TearDown() override { dialogs::setOpenFileProvider({}); }
};

TEST_F(ProgramDialog, CancelEmptiesPathSoRegisteringAsksForProgram) {
  auto w = open();
  dialogs::OpenFileRequest seen;
  dialogs::setOpenFileProvider([&](const dialogs::OpenFileRequest& r) {
    seen = r;
    return QString();
  });
  w->Command5->click();
  EXPECT_TRUE(w->Text1->text().isEmpty());
  EXPECT_EQ(seen.owner, w.get());
  EXPECT_EQ(seen.title, QStringLiteral("ファイルを開く"));
  EXPECT_EQ(seen.qtFilter, QStringLiteral("プログラムファイル (*)"));
  w->kanren1[0]->setChecked(true);
  w->Command3->click();
  EXPECT_EQ(t.messages, (std::vector<Message>{{kChoose, QMessageBox::NoIcon}}));
  EXPECT_FALSE(std::filesystem::exists(t.store()));
}

TEST_F(ProgramDialog, ChosenPathIsTakenWhole) {
  auto w = open();
  const QString chosen = QStringLiteral("/opt/Media Players/") + QString(300, u'p') + QStringLiteral("/KorvaneRP3LX");
  dialogs::setOpenFileProvider([&](const dialogs::OpenFileRequest&) { return chosen; });
  w->Command5->click();
  EXPECT_EQ(w->Text1->text(), chosen);
}

TEST_F(KVNsetWindow, SecondInstanceShowsMessageAndEndsWithoutReading) {
  writeAll(t.ini(), "[Korvane RP 3]\nAlwaysFront=1\n");
  t.otherInstance = true;
  auto w = open();
  EXPECT_FALSE(loaded);
  EXPECT_EQ(t.messages,
            (std::vector<Message>{{QStringLiteral("既に起動されています。"), QMessageBox::Information}}));
  EXPECT_FALSE(w->Check[0]->isChecked());
  EXPECT_TRUE(w->Text1->text().isEmpty());
  EXPECT_FALSE(w->isVisible());
}

TEST(InstanceLockTest, SecondHolderIsRefusedUntilTheFirstEnds) {
  testing::ScratchDir runtime;
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  {
    InstanceLock first("KorvaneRP3set");
    EXPECT_TRUE(first.acquired());
    InstanceLock second("KorvaneRP3set");
    EXPECT_FALSE(second.acquired());
    InstanceLock other("OtherProgram");
    EXPECT_TRUE(other.acquired());
  }
  InstanceLock again("KorvaneRP3set");
  EXPECT_TRUE(again.acquired());
  struct stat st {};
  ASSERT_EQ(::stat((runtime.path() / "korvane-rp3").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(InstanceLockTest, FolderPlantedAsLinkIsNotTrusted) {
  testing::ScratchDir runtime;
  testing::ScratchDir elsewhere;
  std::filesystem::create_directory_symlink(elsewhere.path(), runtime.path() / "korvane-rp3");
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  EXPECT_TRUE(runtimeDir().empty());
  InstanceLock lock("KorvaneRP3set");
  EXPECT_TRUE(lock.acquired());
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
}

TEST_F(KVNsetWindow, ControlsStandAtTheirTwipsWithDesignedTabOrder) {
  auto w = open();
  const double tx = 1440.0 / w->logicalDpiX();
  const double ty = 1440.0 / w->logicalDpiY();
  auto px = [&](const QRect& tw) {
    return QRect(int(std::lround(tw.x() / tx)), int(std::lround(tw.y() / ty)),
                 int(std::lround(tw.width() / tx)), int(std::lround(tw.height() / ty)));
  };
  EXPECT_EQ(KVNset::designTwips(w->Check[1]), QRect(120, 480, 4455, 255));
  EXPECT_EQ(KVNset::designTwips(w->kanren1[7]), QRect(3000, 3720, 735, 255));
  EXPECT_EQ(KVNset::designTwips(w->Command5), QRect(4320, 3030, 255, 225));
  for (QWidget* c : w->findChildren<QWidget*>()) {
    QRect tw = KVNset::designTwips(c);
    if (tw.isNull()) continue;
    EXPECT_EQ(c->geometry(), px(tw)) << c->metaObject()->className();
  }
  EXPECT_EQ(w->size(), QSize(int(std::lround(4665 / tx)), int(std::lround(4425 / ty))));
  EXPECT_EQ(w->minimumSize(), w->maximumSize());
  EXPECT_EQ(w->windowTitle(), QStringLiteral("Korvane RP 3 設定ツール"));
  EXPECT_FALSE(w->windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint));

  // Tab order 0 .. 27, the label left out.
  std::vector<QWidget*> designed = {w->Check[0], w->Check[4], w->Check[1], w->Check[2], w->Check[3],
                                    w->Text1, w->Command5};
  for (int e : {0, 1, 10, 3, 2, 4, 5, 6, 7, 8, 9, 11}) designed.push_back(w->kanren1[e]);
  for (QWidget* c : {static_cast<QWidget*>(w->Text2), static_cast<QWidget*>(w->Command1),
                     static_cast<QWidget*>(w->Command3), static_cast<QWidget*>(w->Command4),
                     static_cast<QWidget*>(w->Command2), static_cast<QWidget*>(w->Check[5]),
                     static_cast<QWidget*>(w->Check[6])})
    designed.push_back(c);
  auto nextTabStop = [](QWidget* from) {
    QWidget* n = from->nextInFocusChain();
    while (!(n->focusPolicy() & Qt::TabFocus)) n = n->nextInFocusChain();
    return n;
  };
  for (size_t i = 0; i + 1 < designed.size(); ++i)
    EXPECT_EQ(nextTabStop(designed[i]), designed[i + 1]) << "after tab " << i;

  std::vector<QString> captions;
  for (QCheckBox* c : w->kanren1) captions.push_back(c->text());
  EXPECT_EQ(captions, (std::vector<QString>{"avi", "rm", "mov", "mid", "mp3", "mpg", "wav", "wma",
                                            "rv", "ra", "ram", ""}));
  EXPECT_EQ(w->Check[0]->toolTip(), QStringLiteral("そのまんまです。"));
  EXPECT_TRUE(w->kanren1[8]->toolTip().isEmpty());
  EXPECT_EQ(w->Command1->text(), QStringLiteral("設定"));
}

}  // namespace
}  // namespace korvane::tool
