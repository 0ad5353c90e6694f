// SPDX-License-Identifier: MIT
// The classes-root store's REGEDIT4 text: what it writes, what it keeps, how keys match.
#include "settings-tool/ClassesRoot.h"

#include <gtest/gtest.h>

namespace korvane::tool {
namespace {

TEST(ClassesRootText, WritesRegistryExportWithParentsFirstAndEscapes) {
  ClassesRoot s;
  s.setDefaultValue(".avi", "avifile");
  s.setDefaultValue("avifile\\Shell\\Open\\Command", R"("/opt/a "b"\c" "%1")");
  s.createKey("avifile-x");
  EXPECT_EQ(s.text(),
            "REGEDIT4\r\n\r\n"
            "[HKEY_CLASSES_ROOT\\.avi]\r\n@=\"avifile\"\r\n\r\n"
            "[HKEY_CLASSES_ROOT\\avifile]\r\n\r\n"
            "[HKEY_CLASSES_ROOT\\avifile\\Shell]\r\n\r\n"
            "[HKEY_CLASSES_ROOT\\avifile\\Shell\\Open]\r\n\r\n"
            "[HKEY_CLASSES_ROOT\\avifile\\Shell\\Open\\Command]\r\n"
            "@=\"\\\"/opt/a \\\"b\\\"\\\\c\\\" \\\"%1\\\"\"\r\n\r\n"
            "[HKEY_CLASSES_ROOT\\avifile-x]\r\n\r\n");
  EXPECT_EQ(ClassesRoot::parse(s.text()).text(), s.text());
  // Line breaks cannot stand in quotes: such a value goes as hex(1) bytes.
  s.setDefaultValue("x", "a\nb\"");
  EXPECT_NE(s.text().find("@=hex(1):61,0a,62,22,00\r\n"), std::string::npos);
  EXPECT_EQ(ClassesRoot::parse(s.text()).defaultValue("x"), "a\nb\"");
  // A hand-edited file may hold anything; what names no key of ours is skipped.
  EXPECT_TRUE(ClassesRoot::parse("[HKEY_CLASSES_ROOT\\]\n@=\"x\"\n[HKEY_CLASSES_ROOT]\n@=\"\n@").keys().empty());
  EXPECT_TRUE(ClassesRoot::parse("[HKEY_CURRENT_USER\\Software]\n@=\"no\"\n").keys().empty());
}

TEST(ClassesRootKeys, DeleteTreeTakesSubkeysButNotNamesSharingAPrefix) {
  ClassesRoot s;
  for (const char* k : {"AviFile\\Shell\\Open\\Command", "avifile\\DefaultIcon", "avifile2", "avifile-x\\y", ".avi"})
    s.createKey(k);
  EXPECT_TRUE(s.hasKey("AVIFILE\\shell"));
  s.deleteTree("avifile");
  s.deleteTree("missing");
  s.deleteTree("avifile-x\\y");
  EXPECT_EQ(s.keys(), (std::vector<std::string>{".avi", "avifile-x", "avifile2"}));
}

}  // namespace
}  // namespace korvane::tool
