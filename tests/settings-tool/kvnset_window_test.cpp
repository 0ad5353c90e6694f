// SPDX-License-Identifier: MIT
// The settings window offscreen: load steps, the option rule, the buttons, the
// program dialog and its filter, the second instance and the captions' room.
#include "ToolTestSupport.h"

#include "common/dialogs/OpenFileDialog.h"
#include "settings-tool/InstanceLock.h"


namespace korvane::tool {
namespace {

using KVNsetWindow = testing::ToolTest;
using testing::Message;
namespace fs = std::filesystem;
using namespace std::string_view_literals;

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
    return QString();
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

// The dialog's filter, shared with the players: pairs in Qt's form, "*.*" as every
// file, and letters in both cases, since a native dialog may match case-sensitively.
TEST(OpenFileFilter, PairsBecomeQtEntriesWithCaseFreePatterns) {
  EXPECT_EQ(dialogs::qtFilterFromPairs("Clips(*.avi;*.Mp3)\0*.avi;*.Mp3\0All\0*.*\0\0Ignored\0*.x\0"sv),
            QStringLiteral("Clips(*.avi;*.Mp3) (*.[aA][vV][iI] *.[mM][pP]3);;All (*)"));
}

}  // namespace
}  // namespace korvane::tool
