// SPDX-License-Identifier: MIT
// The settings window offscreen: load steps, the option rule, the buttons, the
// program dialog, the second instance and the form's layout.
#include "ToolTestSupport.h"

#include "common/dialogs/OpenFileDialog.h"
#include "settings-tool/InstanceLock.h"

#include <QSignalSpy>

namespace korvane::tool {
namespace {

using KVNsetWindow = testing::ToolTest;
using testing::Message;
namespace fs = std::filesystem;

TEST_F(KVNsetWindow, WithoutSettingsFileLoadsUntickedAndBothWaysOfClosingWriteNothing) {
  for (bool closeBox : {false, true}) {
    auto w = open();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(ticks(w->Check), std::vector<bool>(7, false));
    EXPECT_EQ(ticks(w->kanren1), std::vector<bool>(12, false));
    EXPECT_EQ(w->Text1->text().toStdString(), (toolDir / "KorvaneRP3LX").string());
    w->show();
    QSignalSpy finished(w.get(), &QDialog::finished);  // the program ends on it
    w->Check[0]->click();
    closeBox ? (void)w->close() : w->Command2->click();
    EXPECT_EQ(finished.count(), 1);
  }
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(fs::exists(ini()));
  EXPECT_FALSE(fs::exists(storeFile()));
}

TEST_F(KVNsetWindow, LoadShowsStoredValuesAndSetWritesAllSevenAsTicked) {
  testing::writeAll(ini(),
                    "[Korvane RP 3]\r\nAlwaysFront=1\r\nOriginalFit=2\r\nNotWindowsXP=-1\r\n"
                    "ScreenInfoSave=yes\r\nNotMultiStart=1\r\nNotPlayInfoDisplay=0\r\n"
                    "[KeepConnect]\r\n.avi=1\r\n.rm=2\r\n.ram=1\r\n=1\r\n");
  auto w = open();
  EXPECT_EQ(ticks(w->Check), (std::vector<bool>{true, false, false, false, true, false, false}));
  // NotMultiStart=1 beside NotPlayInfoDisplay=0 is shown as stored: no rule at load.
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(ticks(w->kanren1), (std::vector<bool>{true, false, false, false, false, false, false,
                                                  false, false, false, true, true}));

  w->show();
  QSignalSpy finished(w.get(), &QDialog::finished);
  w->kanren1[1]->click();  // boxes alone write no records
  w->Command1->click();
  EXPECT_EQ(finished.count(), 1);
  const char* expected[][2] = {{"AlwaysFront", "1"},    {"OriginalFit", "0"},   {"NotWindowsXP", "0"},
                               {"ScreenInfoSave", "0"}, {"NotMultiStart", "1"}, {"NotPlayInfoDisplay", "0"},
                               {"ResumePlay", "0"}};
  for (auto& [key, value] : expected)
    EXPECT_EQ(settings::profileString("Korvane RP 3", key, "<missing>", ini()), value) << key;
  EXPECT_EQ(record(".rm"), "2");
  EXPECT_TRUE(messages.empty());
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
  testing::writeAll(ini(), "[KeepConnect]\n.avi=1\n");
  auto w = open();
  dialogs::OpenFileRequest seen;
  dialogs::setOpenFileProvider([&](const dialogs::OpenFileRequest& r) {
    seen = r;
    return QString();
  });
  w->Command5->click();
  dialogs::setOpenFileProvider({});
  EXPECT_TRUE(w->Text1->text().isEmpty());
  EXPECT_EQ(std::tuple(seen.owner, seen.title, seen.qtFilter),
            std::tuple(static_cast<QWidget*>(w.get()), QStringLiteral("ファイルを開く"),
                       QStringLiteral("プログラムファイル (*)")));
  w->Command3->click();
  w->Command4->click();
  const Message choose{QStringLiteral("関連付けするプログラムを選んでください"), QMessageBox::NoIcon};
  EXPECT_EQ(messages, (std::vector<Message>{choose, choose}));
  EXPECT_FALSE(fs::exists(storeFile()));
  EXPECT_EQ(testing::slurp(ini()), "[KeepConnect]\n.avi=1\n");
  EXPECT_EQ(storeFollowed, 0);
}

TEST_F(KVNsetWindow, SecondInstanceShowsMessageAndEndsWithoutReading) {
  testing::writeAll(ini(), "[Korvane RP 3]\nAlwaysFront=1\n");
  otherInstance = true;
  auto w = open();
  EXPECT_FALSE(loaded);
  EXPECT_EQ(messages, (std::vector<Message>{{QStringLiteral("既に起動されています。"), QMessageBox::Information}}));
  EXPECT_FALSE(w->Check[0]->isChecked());
  EXPECT_TRUE(w->Text1->text().isEmpty());
}

TEST_F(KVNsetWindow, InstanceLockRefusesASecondHolderUntilTheFirstEnds) {
  ::setenv("XDG_RUNTIME_DIR", scratch.c_str(), 1);
  {
    InstanceLock first("KorvaneRP3set");
    EXPECT_TRUE(first.acquired());
    EXPECT_FALSE(InstanceLock("KorvaneRP3set").acquired());
  }
  EXPECT_TRUE(InstanceLock("KorvaneRP3set").acquired());
}

TEST_F(KVNsetWindow, ControlsStandAtTheirTwipsConvertedToPixels) {
  auto w = open();
  const double tx = 1440.0 / w->logicalDpiX(), ty = 1440.0 / w->logicalDpiY();
  auto pixels = [&](QRect tw) {
    return QRect(int(std::lround(tw.x() / tx)), int(std::lround(tw.y() / ty)),
                 int(std::lround(tw.width() / tx)), int(std::lround(tw.height() / ty)));
  };
  for (QWidget* c : w->findChildren<QWidget*>()) {
    if (KVNset::twipsPlace(c).isNull()) continue;
    EXPECT_EQ(c->geometry(), pixels(KVNset::twipsPlace(c)));
  }
  EXPECT_EQ(QRect(QPoint(), w->size()), pixels(QRect(0, 0, 4665, 4425)));
  EXPECT_EQ(w->minimumSize(), w->maximumSize());
  EXPECT_EQ(w->windowTitle(), QStringLiteral("Korvane RP 3 設定ツール"));
}

}  // namespace
}  // namespace korvane::tool
