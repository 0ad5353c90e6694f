// SPDX-License-Identifier: MIT
// The settings window offscreen: load, the option rule, the program dialog and its filter,
// the second instance, and registration and removal runs on a scratch store (the keys and
// values written, the records, the own extension's rules, and the store's text).
#include "ToolTestSupport.h"

#include "common/dialogs/OpenFileDialog.h"

namespace korvane::tool {
namespace {

using testing::Message;
using testing::spit;
using KVNsetWindow = testing::ToolTest;
using namespace std::string_view_literals;

const QString kRegistered = QStringLiteral("関連付け設定しました");
const std::string kAviStore = "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.avi]\r\n@=\"avifile\"\r\n\r\n";

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

// The dialog's filter, shared with the players: pairs in Qt's form, "*.*" as every
// file, and letters in both cases, since a native dialog may match case-sensitively.
TEST(OpenFileFilter, PairsBecomeQtEntriesWithCaseFreePatterns) {
  EXPECT_EQ(dialogs::qtFilterFromPairs("Clips(*.avi;*.Mp3)\0*.avi;*.Mp3\0All\0*.*\0\0Ignored\0*.x\0"sv),
            QStringLiteral("Clips(*.avi;*.Mp3) (*.[aA][vV][iI] *.[mM][pP]3);;All (*)"));
}

// Text1 keeps its default: the standard player beside the tool.
class AssociationRun : public testing::ToolTest {
 protected:
  std::string command() const { return "\"" + (toolDir / "KorvaneRP3LX").string() + "\" \"%1\""; }
};

TEST_F(AssociationRun, RegisteringKeepsOthersValuesUntickedStaysAndRemovalTakesTickedEntriesWhole) {
  spit(storeFile(),
           "REGEDIT4\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\.AVI]\r\n@=\"OtherPlayer.avi\"\r\n\"Content Type\"=\"video/avi\"\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\AviFile]\r\n@=\"Video Clip\"\r\n\"EditFlags\"=dword:00010000\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\AviFile\\Shell\\Play\\Command]\r\n@=\"other /play\"\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\avifile2]\r\n\r\n");
  auto w = open();
  for (int e : {0, 4, 5}) w->kanren1[e]->setChecked(true);  // avi, mp3, mpg
  w->Command3->click();
  ClassesRoot s = stored();
  EXPECT_EQ(s.defaultValue("avifile"), "Video Clip");  // the type key is only created
  EXPECT_EQ(s.defaultValue("AVIFILE\\shell\\play\\command"), "other /play");
  EXPECT_EQ(s.defaultValue("avifile\\Shell\\Open\\Command"), command());
  EXPECT_EQ(s.defaultValue("avifile\\DefaultIcon"), (toolDir / "icon/avi.ico").string());
  const std::string text = testing::slurp(storeFile());
  EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\.AVI]\r\n@=\"avifile\"\r\n\"Content Type\"=\"video/avi\"\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\"EditFlags\"=dword:00010000\r\n"), std::string::npos);

  w->kanren1[5]->setChecked(false);
  w->kanren1[1]->setChecked(true);  // rm, never registered
  w->Command4->click();
  // avi and mp3 go with everything under them, others' values and keys too; a name
  // that merely begins like theirs stays.
  EXPECT_EQ(stored().keys(), (std::vector<std::string>{".mpg", "avifile2", "mpgfile", "mpgfile\\DefaultIcon",
                                                       "mpgfile\\Shell", "mpgfile\\Shell\\Open",
                                                       "mpgfile\\Shell\\Open\\Command"}));
  EXPECT_EQ(record(".mp3"), "0");
  EXPECT_EQ(record(".mpg"), "1");
  EXPECT_EQ(messages.back().first, QStringLiteral("関連付け解除しました"));

  w->Command3->click();  // the boxes kept their ticks; unticked mpg stays, recorded "0"
  EXPECT_TRUE(stored().hasKey("mp3file") && stored().hasKey("mpgfile\\Shell\\Open\\Command"));
  EXPECT_EQ(record(".mpg"), "0");
}

TEST_F(AssociationRun, OwnExtensionIsUsedAsTypedAndWithoutTextTouchesNoKey) {
  spit(storeFile(), "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.]\r\n@=\"keep\"\r\n\r\n[HKEY_CLASSES_ROOT\\file]\r\n\r\n");
  auto w = open();
  w->kanren1[11]->setChecked(true);
  w->Text2->setText(QStringLiteral("xyz"));
  w->Command3->click();
  EXPECT_EQ(stored().defaultValue(".xyz"), "xyzfile");
  EXPECT_EQ(record(""), "1");

  // Ticked from its record after a restart, the box has no text: its names would
  // be "." and "file", keys that are nobody's to write or delete.
  w = open();
  ASSERT_TRUE(w->kanren1[11]->isChecked());
  w->Command3->click();
  w->Command4->click();
  EXPECT_EQ(stored().defaultValue("."), "keep");
  EXPECT_TRUE(stored().hasKey("file") && stored().hasKey("xyzfile"));
  EXPECT_EQ(record(""), "1");

  w->Text2->setText(QStringLiteral(".xyz"));
  w->Command3->click();
  EXPECT_EQ(stored().defaultValue("..xyz"), ".xyzfile");
  w->Command4->click();
  EXPECT_FALSE(stored().hasKey("..xyz") || stored().hasKey(".xyzfile"));
  EXPECT_TRUE(stored().hasKey("xyzfile"));
  EXPECT_EQ(record(""), "0");
}

TEST_F(AssociationRun, OwnExtensionWithKeyCharactersIsRefusedAndNothingChanges) {
  spit(ini(), "[KeepConnect]\n.avi=1\n");
  spit(storeFile(), kAviStore);
  auto w = open();
  w->kanren1[11]->setChecked(true);
  const testing::Message refused{QStringLiteral("拡張子に使用できない文字が含まれています。"), QMessageBox::NoIcon};
  // Beside characters that name other keys: names the desktop side could not write
  // whole (a MIME type over 127 characters, a ":" that splits a glob file's line).
  const std::string bad[] = {"..\\avifile", "a/b", "*", "a?", "[x", "x]", "a b", "\t", "x\x01", "x\u3000y",
                             std::string(250, 'x'), std::string(114, 'x'), "a:b"};
  for (const std::string& text : bad) {
    w->Text2->setText(QString::fromStdString(text));
    w->Command3->click();
    w->Command4->click();
  }
  EXPECT_EQ(messages, std::vector<testing::Message>(2 * std::size(bad), refused));
  EXPECT_EQ(testing::slurp(ini()), "[KeepConnect]\n.avi=1\n");
  EXPECT_EQ(testing::slurp(storeFile()), kAviStore);
  w->Text2->setText(QString::fromStdString(std::string(113, 'x')));  // the longest that fits
  w->Command3->click();
  EXPECT_EQ(messages.back().first, kRegistered);
  w->Text2->setText(QStringLiteral("a b"));
  w->kanren1[11]->setChecked(false);  // unticked, its text is not used
  w->Command4->click();
  EXPECT_EQ(messages.back().first, QStringLiteral("関連付け解除しました"));
}

// The store's own text, as a registry export that a hand may have edited.
TEST(ClassesRootText, WritesRegistryExportWithParentsFirstAndEscapes) {
  ClassesRoot s;
  s.setDefaultValue(".avi", "avifile");
  s.setDefaultValue("avifile\\Shell\\Open\\Command", R"("/opt/a "b"\c" "%1")");
  EXPECT_EQ(s.text(),
            "REGEDIT4\r\n\r\n"
            "[HKEY_CLASSES_ROOT\\.avi]\r\n@=\"avifile\"\r\n\r\n"
            "[HKEY_CLASSES_ROOT\\avifile]\r\n\r\n"
            "[HKEY_CLASSES_ROOT\\avifile\\Shell]\r\n\r\n"
            "[HKEY_CLASSES_ROOT\\avifile\\Shell\\Open]\r\n\r\n"
            "[HKEY_CLASSES_ROOT\\avifile\\Shell\\Open\\Command]\r\n"
            "@=\"\\\"/opt/a \\\"b\\\"\\\\c\\\" \\\"%1\\\"\"\r\n\r\n");
  EXPECT_EQ(ClassesRoot::parse(s.text()).text(), s.text());
  // Line breaks cannot stand in quotes (such a value goes as hex(1) bytes) yet come back.
  s.setDefaultValue("x", "a\nb\"");
  EXPECT_EQ(ClassesRoot::parse(s.text()).defaultValue("x"), "a\nb\"");
  // A hand-edited file may hold anything; what names no key of ours is skipped.
  EXPECT_TRUE(ClassesRoot::parse("[HKEY_CLASSES_ROOT\\]\n@=\"x\"\n[HKEY_CLASSES_ROOT]\n@=\"\n@").keys().empty());
}

}  // namespace
}  // namespace korvane::tool
