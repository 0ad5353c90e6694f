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
const char* kRecordKeys[] = {".avi", ".rm", ".mov", ".mid", ".mp3", ".mpg",
                             ".wav", ".wma", ".rv", ".ra", ".ram", ""};
const std::string kCommand = "\"/opt/korvane/KorvaneRP3LX\" \"%1\"";

class AssociationRun : public ::testing::Test {
 protected:
  void SetUp() override { testing::ensureApp(); }
  std::unique_ptr<KVNset> open() {
    auto w = std::make_unique<KVNset>(t.environment());
    w->Form_Load();
    w->Text1->setText(QStringLiteral("/opt/korvane/KorvaneRP3LX"));
    return w;
  }
  std::string record(const char* key) { return settings::profileString("KeepConnect", key, "<none>", t.ini()); }
  ClassesRoot store() { return ClassesRoot::load(t.store()); }
  std::string icon(const std::string& ext) { return (t.toolDir() / "icon" / (ext + ".ico")).string(); }

  testing::ToolFixtureState t;
};

TEST_F(AssociationRun, OnlyAviTickedWritesTheLayoutAndRecordsEveryEntry) {
  auto w = open();
  w->kanren1[0]->setChecked(true);
  w->Command3->click();

  ClassesRoot s = store();
  EXPECT_EQ(s.keys(), (std::vector<std::string>{".avi", "avifile", "avifile\\DefaultIcon", "avifile\\Shell",
                                                "avifile\\Shell\\Open", "avifile\\Shell\\Open\\Command"}));
  const std::pair<const char*, std::optional<std::string>> values[] = {
      {".avi", "avifile"},        {"avifile", std::nullopt},         {"avifile\\DefaultIcon", icon("avi")},
      {"avifile\\Shell", "Open"}, {"avifile\\Shell\\Open", "Open"}, {"avifile\\Shell\\Open\\Command", kCommand}};
  for (auto& [key, value] : values) EXPECT_EQ(s.defaultValue(key), value) << key;
  EXPECT_EQ(record(".avi"), "1");
  for (int e = 1; e < 12; ++e) EXPECT_EQ(record(kRecordKeys[e]), "0") << e;
  EXPECT_EQ(t.messages.back().text, kRegistered);
  EXPECT_EQ(t.storeFollowed, 1);
}

TEST_F(AssociationRun, NothingTickedWritesNoKeyButZeroRecordsAndRemovalNothing) {
  auto w = open();
  w->Command3->click();
  EXPECT_TRUE(store().keys().empty());
  for (const char* k : kRecordKeys) EXPECT_EQ(record(k), "0") << k;

  const std::string storeText = "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.avi]\r\n@=\"avifile\"\r\n\r\n";
  writeAll(t.store(), storeText);
  const std::string ini = readAll(t.ini());
  w->Command4->click();
  EXPECT_EQ(readAll(t.store()), storeText);
  EXPECT_EQ(readAll(t.ini()), ini);
  EXPECT_EQ(t.messages.back().text, kRemoved);
}

TEST_F(AssociationRun, RegisteringOverExistingKeysKeepsOtherValuesAndSubkeys) {
  writeAll(t.store(),
           "REGEDIT4\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\.AVI]\r\n@=\"OtherPlayer.avi\"\r\n\"Content Type\"=\"video/avi\"\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\AviFile]\r\n@=\"Video Clip\"\r\n\"EditFlags\"=dword:00010000\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\AviFile\\Shell\\Play\\Command]\r\n@=\"other /play\"\r\n\r\n");
  auto w = open();
  w->kanren1[0]->setChecked(true);
  w->Command3->click();
  ClassesRoot s = store();
  EXPECT_EQ(s.defaultValue("avifile"), "Video Clip");  // the type key is only created
  EXPECT_EQ(s.defaultValue("AVIFILE\\shell\\play\\command"), "other /play");
  EXPECT_EQ(s.defaultValue("avifile\\Shell\\Open\\Command"), kCommand);
  const std::string text = readAll(t.store());
  EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\.AVI]\r\n@=\"avifile\"\r\n\"Content Type\"=\"video/avi\"\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\"EditFlags\"=dword:00010000\r\n"), std::string::npos);
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
  EXPECT_EQ(record(".avi"), "0");
  EXPECT_EQ(record(".mpg"), "1");
  auto again = open();
  EXPECT_FALSE(again->kanren1[0]->isChecked());
  EXPECT_TRUE(again->kanren1[5]->isChecked());
}

TEST_F(AssociationRun, RemovalDeletesBothKeysWholeOnlyForTickedEntries) {
  auto w = open();
  for (int e : {0, 4}) w->kanren1[e]->setChecked(true);
  w->Command3->click();
  ClassesRoot s = store();
  s.setDefaultValue("avifile\\Shell\\Edit\\Command", "someone else");
  s.save(t.store());
  w->kanren1[4]->setChecked(false);
  w->Command4->click();
  EXPECT_FALSE(store().hasKey(".avi") || store().hasKey("avifile"));
  EXPECT_TRUE(store().hasKey("mp3file\\Shell\\Open\\Command"));
  EXPECT_EQ(record(".avi"), "0");
  EXPECT_EQ(record(".mp3"), "1");
  EXPECT_TRUE(w->kanren1[0]->isChecked());  // the boxes keep their ticks
  EXPECT_EQ(t.messages.back().text, kRemoved);
}

TEST_F(AssociationRun, OwnExtensionIsUsedAsTypedAndRecordedUnderTheEmptyKey) {
  {
    auto w = open();
    w->kanren1[11]->setChecked(true);
    w->Text2->setText(QStringLiteral("xyz"));
    w->Command3->click();
  }
  EXPECT_EQ(store().defaultValue(".xyz"), "xyzfile");
  EXPECT_EQ(store().defaultValue("xyzfile\\DefaultIcon"), icon("xyz"));
  EXPECT_EQ(store().defaultValue("xyzfile\\Shell\\Open\\Command"), kCommand);
  EXPECT_EQ(record(""), "1");
  auto w = open();
  EXPECT_TRUE(w->kanren1[11]->isChecked());
  EXPECT_TRUE(w->Text2->text().isEmpty());

  w->Text2->setText(QStringLiteral(".xyz"));
  w->Command3->click();
  EXPECT_EQ(store().defaultValue("..xyz"), ".xyzfile");
  EXPECT_EQ(store().defaultValue(".xyzfile\\DefaultIcon"), icon(".xyz"));
  w->Command4->click();
  EXPECT_FALSE(store().hasKey("..xyz") || store().hasKey(".xyzfile"));
  EXPECT_TRUE(store().hasKey("xyzfile"));
  EXPECT_EQ(record(""), "0");
}

TEST_F(AssociationRun, OwnExtensionWithKeyCharactersIsRefusedAndNothingChanges) {
  const std::string ini = "[KeepConnect]\n.avi=1\n";
  const std::string storeText = "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.avi]\r\n@=\"avifile\"\r\n\r\n";
  writeAll(t.ini(), ini);
  writeAll(t.store(), storeText);
  auto w = open();
  w->kanren1[11]->setChecked(true);
  w->kanren1[2]->setChecked(true);
  for (const char* bad : {"..\\avifile", "a/b", "*", "a?", "[x", "x]", "a b", "\t", "x\x01", "x\u3000y"}) {
    w->Text2->setText(QString::fromUtf8(bad));
    t.messages.clear();
    w->Command3->click();
    w->Command4->click();
    const QString refused = QStringLiteral("拡張子に使用できない文字が含まれています。");
    EXPECT_EQ(t.messages, (std::vector<testing::Message>{{refused, QMessageBox::NoIcon},
                                                         {refused, QMessageBox::NoIcon}}))
        << bad;
  }
  EXPECT_EQ(readAll(t.ini()), ini);
  EXPECT_EQ(readAll(t.store()), storeText);
  EXPECT_EQ(t.storeFollowed, 0);
  w->kanren1[11]->setChecked(false);  // unticked, its text is not used
  w->Command3->click();
  EXPECT_EQ(t.messages.back().text, kRegistered);
}

TEST_F(AssociationRun, OwnEntryTickedWithoutTextTouchesNoKey) {
  writeAll(t.ini(), "[KeepConnect]\n=1\n");
  writeAll(t.store(), "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.]\r\n@=\"keep\"\r\n\r\n[HKEY_CLASSES_ROOT\\file]\r\n\r\n");
  auto w = open();
  ASSERT_TRUE(w->kanren1[11]->isChecked());
  w->kanren1[0]->setChecked(true);
  w->Command3->click();
  EXPECT_EQ(store().keys().size(), 8u);  // "." and "file" untouched beside avi's six
  EXPECT_EQ(store().defaultValue("."), "keep");
  w->Command4->click();
  EXPECT_EQ(store().keys(), (std::vector<std::string>{".", "file"}));
  EXPECT_EQ(record(""), "1");  // it still says an own extension is registered
}

}  // namespace
}  // namespace korvane::tool
