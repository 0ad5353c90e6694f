// SPDX-License-Identifier: MIT
// The settings window offscreen: load steps, the option rule, the buttons, the
// program dialog, the second instance and the form's layout.
#include "ToolTestSupport.h"

#include "common/dialogs/OpenFileDialog.h"
#include "settings-tool/InstanceLock.h"
#include "settings/ProfileFile.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
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
  void TearDown() override { dialogs::setOpenFileProvider({}); }
  std::unique_ptr<KVNset> open() {
    auto w = std::make_unique<KVNset>(t.environment());
    loaded = w->Form_Load();
    return w;
  }
  std::string option(const char* key) {
    return settings::profileString("Korvane RP 3", key, "<missing>", t.ini());
  }
  static std::vector<bool> ticks(const auto& boxes) {
    std::vector<bool> out;
    for (QCheckBox* c : boxes) out.push_back(c->isChecked());
    return out;
  }
  testing::ToolFixtureState t;
  bool loaded = false;
};

TEST_F(KVNsetWindow, LoadsWithoutSettingsFileUntickedAndPointsAtStandardPlayer) {
  auto w = open();
  ASSERT_TRUE(loaded);
  EXPECT_EQ(ticks(w->Check), std::vector<bool>(7, false));
  EXPECT_EQ(ticks(w->kanren1), std::vector<bool>(12, false));
  EXPECT_EQ(w->Text1->text().toStdString(), (t.toolDir() / "KorvaneRP3LX").string());
  EXPECT_TRUE(t.messages.empty());
  EXPECT_FALSE(std::filesystem::exists(t.ini()));
}

TEST_F(KVNsetWindow, LoadShowsStoredValuesAndSetWritesAllSevenAsTicked) {
  writeAll(t.ini(),
           "[Korvane RP 3]\r\nAlwaysFront=1\r\nOriginalFit=2\r\nNotWindowsXP=-1\r\n"
           "ScreenInfoSave=yes\r\nNotMultiStart=1\r\nNotPlayInfoDisplay=0\r\n"
           "[KeepConnect]\r\n.avi=1\r\n.rm=2\r\n.ram=1\r\n=1\r\n");
  auto w = open();
  EXPECT_EQ(ticks(w->Check), (std::vector<bool>{true, false, false, false, true, false, false}));
  // NotMultiStart=1 beside NotPlayInfoDisplay=0 is shown as stored: no rule at load.
  EXPECT_TRUE(t.messages.empty());
  EXPECT_EQ(ticks(w->kanren1), (std::vector<bool>{true, false, false, false, false, false, false,
                                                  false, false, false, true, true}));
  EXPECT_TRUE(w->Text2->text().isEmpty());

  w->show();
  QSignalSpy finished(w.get(), &QDialog::finished);
  w->kanren1[1]->click();  // boxes alone write no records
  w->Command1->click();
  EXPECT_EQ(finished.count(), 1);
  const char* expected[][2] = {{"AlwaysFront", "1"},    {"OriginalFit", "0"},   {"NotWindowsXP", "0"},
                               {"ScreenInfoSave", "0"}, {"NotMultiStart", "1"}, {"NotPlayInfoDisplay", "0"},
                               {"ResumePlay", "0"}};
  for (auto& [key, value] : expected) EXPECT_EQ(option(key), value) << key;
  EXPECT_EQ(settings::profileString("KeepConnect", ".rm", "", t.ini()), "2");
  EXPECT_TRUE(w->ended());
  EXPECT_FALSE(w->isVisible());
  EXPECT_TRUE(t.messages.empty());
}

TEST_F(KVNsetWindow, SingleInstanceTickForcesTitleInfoOffWithMessage) {
  auto w = open();
  w->Check[4]->click();
  ASSERT_EQ(t.messages, (std::vector<Message>{{kRule, QMessageBox::Information}}));
  EXPECT_TRUE(w->Check[5]->isChecked());
  w->Check[5]->click();  // an attempt to untick it is undone
  EXPECT_EQ(t.messages.size(), 2u);
  EXPECT_TRUE(w->Check[5]->isChecked());
  w->Check[4]->click();  // unticking single instance says nothing
  w->Check[4]->click();  // and ticking it with the other box ticked neither
  EXPECT_EQ(t.messages.size(), 2u);

  // The keyboard changes boxes too.
  w->Check[4]->click();
  w->Check[5]->click();
  w->show();
  w->Check[4]->setFocus();
  QTest::keyClick(w->Check[4], Qt::Key_Space);
  EXPECT_EQ(t.messages.size(), 3u);
  EXPECT_TRUE(w->Check[4]->isChecked() && w->Check[5]->isChecked());
}

TEST_F(KVNsetWindow, CloseButtonAndCloseBoxWriteNothing) {
  const std::string before = "[Korvane RP 3]\nAlwaysFront=2\n";
  writeAll(t.ini(), before);
  for (bool closeBox : {false, true}) {
    auto w = open();
    w->show();
    QSignalSpy finished(w.get(), &QDialog::finished);  // the program ends on it
    w->Check[0]->click();
    closeBox ? (void)w->close() : w->Command2->click();
    EXPECT_TRUE(w->ended());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(finished.count(), 1);
  }
  EXPECT_EQ(readAll(t.ini()), before);
  EXPECT_FALSE(std::filesystem::exists(t.store()));
}

TEST_F(KVNsetWindow, CancelledProgramDialogEmptiesPathWhichBothAssociationButtonsRefuse) {
  writeAll(t.ini(), "[KeepConnect]\n.avi=1\n");
  auto w = open();
  dialogs::OpenFileRequest seen;
  dialogs::setOpenFileProvider([&](const dialogs::OpenFileRequest& r) {
    seen = r;
    return QString();
  });
  w->Command5->click();
  EXPECT_TRUE(w->Text1->text().isEmpty());
  EXPECT_EQ(std::tuple(seen.owner, seen.title, seen.qtFilter),
            std::tuple(static_cast<QWidget*>(w.get()), QStringLiteral("ファイルを開く"), QStringLiteral("プログラムファイル (*)")));
  w->Command3->click();
  w->Command4->click();
  EXPECT_EQ(t.messages, (std::vector<Message>{{kChoose, QMessageBox::NoIcon}, {kChoose, QMessageBox::NoIcon}}));
  EXPECT_FALSE(std::filesystem::exists(t.store()));
  EXPECT_EQ(readAll(t.ini()), "[KeepConnect]\n.avi=1\n");
  EXPECT_EQ(t.storeFollowed, 0);
  w->Text1->setText(QStringLiteral("  "));  // blanks are a path
  w->Command3->click();
  EXPECT_EQ(t.messages.back().text, QStringLiteral("関連付け設定しました"));
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
}

TEST(InstanceLockTest, SecondHolderIsRefusedUntilTheFirstEndsAndAPlantedLinkIsNotTrusted) {
  testing::ScratchDir runtime, elsewhere;
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  {
    InstanceLock first("KorvaneRP3set");
    EXPECT_TRUE(first.acquired());
    EXPECT_FALSE(InstanceLock("KorvaneRP3set").acquired());
  }
  EXPECT_TRUE(InstanceLock("KorvaneRP3set").acquired());
  struct stat st {};
  ASSERT_EQ(::stat((runtime.path() / "korvane-rp3").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  std::filesystem::remove_all(runtime.path() / "korvane-rp3");
  std::filesystem::create_directory_symlink(elsewhere.path(), runtime.path() / "korvane-rp3");
  EXPECT_TRUE(runtimeDir().empty());
  EXPECT_TRUE(InstanceLock("KorvaneRP3set").acquired());
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
}

TEST_F(KVNsetWindow, ControlsStandAtTheirTwipsConvertedToPixels) {
  auto w = open();
  const double tx = 1440.0 / w->logicalDpiX(), ty = 1440.0 / w->logicalDpiY();
  for (QWidget* c : w->findChildren<QWidget*>()) {
    QRect tw = KVNset::twipsPlace(c);
    if (tw.isNull()) continue;
    EXPECT_EQ(c->geometry(), QRect(int(std::lround(tw.x() / tx)), int(std::lround(tw.y() / ty)),
                                   int(std::lround(tw.width() / tx)), int(std::lround(tw.height() / ty))));
  }
  EXPECT_EQ(w->size(), QSize(int(std::lround(4665 / tx)), int(std::lround(4425 / ty))));
  EXPECT_EQ(w->minimumSize(), w->maximumSize());
  EXPECT_EQ(w->windowTitle(), QStringLiteral("Korvane RP 3 設定ツール"));
}

}  // namespace
}  // namespace korvane::tool
