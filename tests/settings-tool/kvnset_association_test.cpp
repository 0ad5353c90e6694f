// SPDX-License-Identifier: MIT
// Registration and removal runs of the settings window on a scratch store: the keys
// and values written, the records, and the own extension's rules.
#include "ToolTestSupport.h"

#include "settings/ProfileFile.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace korvane::tool {
namespace {

using testing::readAll;
using testing::writeAll;

const QString kRegistered = QStringLiteral("関連付け設定しました");
const QString kRemoved = QStringLiteral("関連付け解除しました");
const QString kRefused = QStringLiteral("拡張子に使用できない文字が含まれています。");
const char* kRecordKeys[] = {".avi", ".rm", ".mov", ".mid", ".mp3", ".mpg",
                             ".wav", ".wma", ".rv", ".ra", ".ram", ""};

class AssociationRun : public ::testing::Test {
 protected:
  void SetUp() override { testing::ensureApp(); }
  std::unique_ptr<KVNset> open() {
    auto w = std::make_unique<KVNset>(t.environment());
    w->Form_Load();
    w->Text1->setText(QString::fromStdString(program));
    return w;
  }
  std::string record(const char* key) {
    return settings::profileString("KeepConnect", key, "<none>", t.ini());
  }
  ClassesRoot store() { return ClassesRoot::load(t.store()); }
  std::string icon(const std::string& ext) { return (t.toolDir() / "icon" / (ext + ".ico")).string(); }

  testing::ToolFixtureState t;
  std::string program = "/opt/korvane/KorvaneRP3LX";
};

TEST_F(AssociationRun, OnlyAviTickedWritesTheLayoutAndRecordsEveryEntry) {
  auto w = open();
  w->kanren1[0]->setChecked(true);
  w->Command3->click();

  ClassesRoot s = store();
  EXPECT_EQ(s.keys(), (std::vector<std::string>{".avi", "avifile", "avifile\\DefaultIcon",
                                                "avifile\\Shell", "avifile\\Shell\\Open",
                                                "avifile\\Shell\\Open\\Command"}));
  EXPECT_EQ(s.defaultValue(".avi"), "avifile");
  EXPECT_EQ(s.defaultValue("avifile"), std::nullopt);
  EXPECT_EQ(s.defaultValue("avifile\\DefaultIcon"), icon("avi"));
  EXPECT_EQ(s.defaultValue("avifile\\Shell"), "Open");
  EXPECT_EQ(s.defaultValue("avifile\\Shell\\Open"), "Open");
  EXPECT_EQ(s.defaultValue("avifile\\Shell\\Open\\Command"),
            "\"/opt/korvane/KorvaneRP3LX\" \"%1\"");
  EXPECT_EQ(record(".avi"), "1");
  for (int e = 1; e < 12; ++e) EXPECT_EQ(record(kRecordKeys[e]), "0") << e;
  EXPECT_EQ(t.messages.back().text, kRegistered);
  EXPECT_EQ(t.messages.back().icon, QMessageBox::NoIcon);
  EXPECT_EQ(t.storeFollowed, 1);
  EXPECT_TRUE(w->isVisible() || !w->ended());
}

TEST_F(AssociationRun, NothingTickedWritesNoKeyButZeroRecords) {
  auto w = open();
  w->Command3->click();
  EXPECT_TRUE(store().keys().empty());
  for (const char* k : kRecordKeys) EXPECT_EQ(record(k), "0") << k;
  EXPECT_EQ(t.messages.back().text, kRegistered);
}

TEST_F(AssociationRun, RemovalWithNothingTickedChangesNothing) {
  const std::string storeText = "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.avi]\r\n@=\"avifile\"\r\n\r\n";
  writeAll(t.store(), storeText);
  writeAll(t.ini(), "[KeepConnect]\n.avi=1\n");
  auto w = open();
  w->kanren1[0]->setChecked(false);
  w->Command4->click();
  EXPECT_EQ(readAll(t.store()), storeText);
  EXPECT_EQ(readAll(t.ini()), "[KeepConnect]\n.avi=1\n");
  EXPECT_EQ(t.messages.back().text, kRemoved);
}

TEST_F(AssociationRun, RegisteringOverExistingKeysKeepsOtherValuesAndSubkeys) {
  writeAll(t.store(),
           "REGEDIT4\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\.AVI]\r\n@=\"OtherPlayer.avi\"\r\n\"Content Type\"=\"video/avi\"\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\AviFile]\r\n@=\"Video Clip\"\r\n\"EditFlags\"=dword:00010000\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\AviFile\\Shell\\Play\\Command]\r\n@=\"other.exe /play \\\"%1\\\"\"\r\n\r\n");
  auto w = open();
  w->kanren1[0]->setChecked(true);
  w->Command3->click();
  ClassesRoot s = store();
  EXPECT_EQ(s.defaultValue(".avi"), "avifile");
  EXPECT_EQ(s.defaultValue("avifile"), "Video Clip");  // the type key only gets created
  EXPECT_EQ(s.defaultValue("AVIFILE\\shell\\play\\command"), "other.exe /play \"%1\"");
  const std::string text = readAll(t.store());
  EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\.AVI]\r\n@=\"avifile\"\r\n\"Content Type\"=\"video/avi\"\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\"EditFlags\"=dword:00010000\r\n"), std::string::npos);
  EXPECT_EQ(s.defaultValue("avifile\\Shell\\Open\\Command"), "\"/opt/korvane/KorvaneRP3LX\" \"%1\"");
}

TEST_F(AssociationRun, UntickedEntryKeepsItsKeysButIsRecordedZero) {
  {
    auto w = open();
    w->kanren1[0]->setChecked(true);
    w->kanren1[5]->setChecked(true);
    w->Command3->click();
    w->kanren1[0]->setChecked(false);
    w->Command3->click();
  }
  EXPECT_TRUE(store().hasKey("avifile\\Shell\\Open\\Command"));
  EXPECT_TRUE(store().hasKey(".mpg"));
  EXPECT_EQ(record(".avi"), "0");
  EXPECT_EQ(record(".mpg"), "1");
  auto again = open();
  EXPECT_FALSE(again->kanren1[0]->isChecked());
  EXPECT_TRUE(again->kanren1[5]->isChecked());
}

TEST_F(AssociationRun, RemovalDeletesBothKeysWholeOnlyForTickedEntries) {
  {
    auto w = open();
    for (int e : {0, 4}) w->kanren1[e]->setChecked(true);
    w->Command3->click();
  }
  ClassesRoot s = store();
  s.setDefaultValue("avifile\\Shell\\Edit\\Command", "someone else");
  s.save(t.store());
  auto w = open();
  w->kanren1[4]->setChecked(false);
  w->Command4->click();
  EXPECT_FALSE(store().hasKey(".avi"));
  EXPECT_FALSE(store().hasKey("avifile"));
  EXPECT_FALSE(store().hasKey("avifile\\Shell\\Edit\\Command"));
  EXPECT_TRUE(store().hasKey("mp3file\\Shell\\Open\\Command"));
  EXPECT_EQ(record(".avi"), "0");
  EXPECT_EQ(record(".mp3"), "1");
  EXPECT_TRUE(w->kanren1[0]->isChecked());  // the boxes keep their ticks
  EXPECT_EQ(t.messages.back().text, kRemoved);
  EXPECT_EQ(t.storeFollowed, 2);
}

TEST_F(AssociationRun, OwnExtensionIsRegisteredAndRecordedUnderTheEmptyKey) {
  {
    auto w = open();
    w->kanren1[11]->setChecked(true);
    w->Text2->setText(QStringLiteral("xyz"));
    w->Command3->click();
  }
  ClassesRoot s = store();
  EXPECT_EQ(s.defaultValue(".xyz"), "xyzfile");
  EXPECT_EQ(s.defaultValue("xyzfile\\DefaultIcon"), icon("xyz"));
  EXPECT_EQ(s.defaultValue("xyzfile\\Shell\\Open\\Command"), "\"/opt/korvane/KorvaneRP3LX\" \"%1\"");
  EXPECT_EQ(record(""), "1");
  auto again = open();
  EXPECT_TRUE(again->kanren1[11]->isChecked());
  EXPECT_TRUE(again->Text2->text().isEmpty());
}

TEST_F(AssociationRun, OwnExtensionIsUsedAsTypedLeadingDotIncluded) {
  auto w = open();
  w->kanren1[11]->setChecked(true);
  w->Text2->setText(QStringLiteral(".xyz"));
  w->Command3->click();
  EXPECT_EQ(store().defaultValue("..xyz"), ".xyzfile");
  EXPECT_TRUE(store().hasKey(".xyzfile\\Shell\\Open\\Command"));
  EXPECT_EQ(store().defaultValue(".xyzfile\\DefaultIcon"), icon(".xyz"));
  w->Command4->click();
  EXPECT_TRUE(store().keys().empty());
  EXPECT_EQ(record(""), "0");
}

TEST_F(AssociationRun, OwnExtensionWithKeyCharactersIsRefusedAndNothingChanges) {
  writeAll(t.ini(), "[KeepConnect]\n.avi=1\n");
  writeAll(t.store(), "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.avi]\r\n@=\"avifile\"\r\n\r\n");
  auto w = open();
  w->kanren1[11]->setChecked(true);
  w->kanren1[2]->setChecked(true);
  for (const char* bad : {"..\\avifile", "a/b", "*", "a?", "[x", "x]", "a b", "\t", "x\x01",
                          "x\u3000y"}) {
    w->Text2->setText(QString::fromUtf8(bad));
    t.messages.clear();
    w->Command3->click();
    w->Command4->click();
    ASSERT_EQ(t.messages.size(), 2u) << bad;
    EXPECT_EQ(t.messages[0].text, kRefused) << bad;
    EXPECT_EQ(t.messages[1].text, kRefused) << bad;
  }
  EXPECT_EQ(readAll(t.ini()), "[KeepConnect]\n.avi=1\n");
  EXPECT_EQ(readAll(t.store()), "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.avi]\r\n@=\"avifile\"\r\n\r\n");
  EXPECT_EQ(t.storeFollowed, 0);

  // Unticked, the own text is not used and so not looked at.
  w->kanren1[11]->setChecked(false);
  w->Command3->click();
  EXPECT_EQ(t.messages.back().text, kRegistered);
}

TEST_F(AssociationRun, OwnEntryTickedWithoutTextTouchesNoKey) {
  writeAll(t.ini(), "[KeepConnect]\n=1\n");
  writeAll(t.store(),
           "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.]\r\n@=\"keep\"\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\file]\r\n@=\"keep\"\r\n\r\n");
  auto w = open();
  ASSERT_TRUE(w->kanren1[11]->isChecked());
  w->kanren1[0]->setChecked(true);
  w->Command3->click();
  EXPECT_EQ(store().defaultValue("."), "keep");
  EXPECT_FALSE(store().hasKey(".\\DefaultIcon"));
  EXPECT_FALSE(store().hasKey("file\\Shell"));
  EXPECT_TRUE(store().hasKey(".avi"));
  EXPECT_EQ(record(""), "1");  // still says an own extension is registered
  w->Command4->click();
  EXPECT_EQ(store().defaultValue("."), "keep");
  EXPECT_EQ(store().defaultValue("file"), "keep");
  EXPECT_FALSE(store().hasKey(".avi"));
  EXPECT_EQ(record(""), "1");
}

TEST_F(AssociationRun, ProgramPathIsUsedUnchangedWhateverItHolds) {
  program = R"(/home/me/My "Players"/a\b $HOME %1)";
  auto w = open();
  w->kanren1[3]->setChecked(true);
  w->Command3->click();
  EXPECT_EQ(store().defaultValue("midfile\\Shell\\Open\\Command"), "\"" + program + "\" \"%1\"");
}

}  // namespace
}  // namespace korvane::tool
