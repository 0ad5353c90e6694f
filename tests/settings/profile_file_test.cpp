// SPDX-License-Identifier: MIT
// The settings file must read and write exactly as the Windows profile functions
// do, since a Windows profile reader shares these files with us.
#include "settings/ProfileFile.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsLocation.h"

#include "tests/fakes/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using korvane::fakes::slurp;
using korvane::fakes::spit;
using namespace korvane::settings;

namespace {

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/korvane-settings-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    file_ = dir_ / "kvnset.ini";
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_, file_;
};

const fs::path kGolden = fs::path(KORVANE_SOURCE_DIR) / "tests" / "settings" / "golden";

}  // namespace

TEST(ProfileRead, ValuesSectionsAndCommentsReadAsWindowsReadsThem) {
  const std::string ini =
      "\xEF\xBB\xBForphan=1\r\n[ section1 ]\r\nname1=val1\nname2=\"val2\"\nname3\nk=v ; x\n"
      "q='single'\nmixed=\"a'\nlone=\"\n;c=hidden\n  ; c=hidden too\nc=shown\n"
      "[SECTION2]\rkey=b\r[section1]\nother=late\n[nul]\nkey=ab" + std::string(1, '\0') + "cd\n";
  struct Case {
    const char *section, *key;
    std::optional<std::string> value;
  } cases[] = {
      {"section1", "name2", "val2"}, {"section1", "NaMe1", "val1"}, {"section1", "name3", std::nullopt},
      {"section1", "k", "v ; x"},    {"section1", "q", "single"},   {"section1", "mixed", "\"a'"},
      {"section1", "lone", "\""},    {"section1", "absent", std::nullopt}, {"section1", "c", "shown"},
      {" Section2 ", "key", "b"},    // CR-only line ends too
      // Only the first section of a name counts; lines before any section belong to none.
      {"section1", "other", std::nullopt}, {"", "orphan", std::nullopt}, {"nul", "key", "ab"},
  };
  for (const Case& c : cases) EXPECT_EQ(findProfileValue(ini, c.section, c.key), c.value) << c.key;
}

TEST(ProfileRead, IntegersWrapModulo2To32) {
  struct Case {
    const char* text;
    int expected;
  } cases[] = {{"-1", -1},  {"+1", 1},          {"4294967296", 0},  {"4294967297", 1},
               {"42A94967297", 42}, {"B4294967297", 0}, {"yes", 0}, {"2", 2},
               {"  7", 7},  {"2147483648", INT32_MIN}, {"-", 0}, {"0x10", 0}};
  for (const Case& c : cases) EXPECT_EQ(parseProfileInt(c.text, 99), c.expected) << c.text;
  EXPECT_EQ(parseProfileInt("", 99), 99);
}

TEST_F(TempDir, IntegerAndStringReadsFallBackToDefaults) {
  EXPECT_EQ(profileInt("Screen", "Height", 411, file_), 411);  // no file at all
  EXPECT_EQ(profileString("ResumeInfo", "FilePath", "", file_), "");
  spit(file_, "[Korvane RP 3]\r\nAlwaysFront=\r\nOriginalFit=   \r\nResumePlay=1\r\n");
  for (const char* key : {"AlwaysFront", "OriginalFit"})  // empty value, blanks only
    EXPECT_EQ(profileInt("Korvane RP 3", key, 5, file_), 5) << key;
  EXPECT_EQ(profileInt("Korvane RP 3", "ResumePlay", 0, file_), 1);
  EXPECT_EQ(profileString("Korvane RP 3", "AlwaysFront", "dflt", file_), "dflt");
  EXPECT_EQ(profileInt("Screen", "Width", 480, file_), 480);  // missing section
}

TEST_F(TempDir, WritingIntoAMissingFileGivesWindowsBytes) {
  for (auto [app, n] : {std::pair{"App1", 1}, {"App1", 2}, {"App1", 3}, {"App2", 4}, {"App3", 5}})
    ASSERT_TRUE(writeProfileString(app, "key" + std::to_string(n), "string" + std::to_string(n), file_));
  EXPECT_EQ(slurp(file_),
            "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n"
            "[App3]\r\nkey5=string5\r\n");
}

TEST(ProfileWrite, ReplacingAValueKeepsEveryOtherByte) {
  std::string ini =
      "; comment\n\n  [App]  \n   Key = old value   \nnext=1\n\n[Other]\nx=y";
  EXPECT_EQ(applyProfileWrite(ini, "app", "KEY", "new"),
            "; comment\n\n  [App]  \n   Key=new\nnext=1\n\n[Other]\nx=y");
  // A new key goes after the section's last key line, before the blank line.
  EXPECT_EQ(applyProfileWrite(ini, "App", "added", "v"),
            "; comment\n\n  [App]  \n   Key = old value   \nnext=1\nadded=v\r\n\n[Other]\nx=y");
  // The last line has no line end: one is added before the new key or section.
  EXPECT_EQ(applyProfileWrite(ini, "Other", "z", "1"),
            "; comment\n\n  [App]  \n   Key = old value   \nnext=1\n\n[Other]\nx=y\r\nz=1\r\n");
  EXPECT_EQ(applyProfileWrite("[A]", "B", "k", "v"), "[A]\r\n[B]\r\nk=v\r\n");
  EXPECT_EQ(applyProfileWrite("[A]", "A", "k", "v"), "[A]\r\nk=v\r\n");
  // A key line without "=" is the key: the write gives it its value.
  EXPECT_EQ(applyProfileWrite("[A]\nname3\n", "A", "name3", "v"), "[A]\nname3=v\n");
}

TEST(ProfileWrite, ValuesThatAReaderWouldChangeAreQuoted) {
  for (std::string value : {"trailing blank ", " leading", "\"quoted\"", "'single'", "", "\"", "a=b"}) {
    auto out = applyProfileWrite("", "S", "k", value);
    ASSERT_TRUE(out);
    EXPECT_EQ(findProfileValue(*out, "S", "k"), value) << *out;
  }
}

TEST(ProfileWrite, LineBreaksNulAndMisleadingNamesAreRefused) {
  const std::string ini = "[S]\nk=v\n";
  const std::string refused[][3] = {
      {"S", "k", "a\r\n[Korvane RP 3]\r\nAlwaysFront=1"}, {"S", "k", "a\rb"}, {"S", "k", std::string("a\0b", 3)},
      {"S", "k\n", "v"}, {"S]x", "k", "v"}, {"S", "a=b", "v"}, {"S", ";k", "v"}, {"S", "[k", "v"}};
  for (const auto& r : refused) EXPECT_FALSE(applyProfileWrite(ini, r[0], r[1], r[2])) << r[1] << r[2];
  EXPECT_TRUE(applyProfileWrite(ini, "KeepConnect", "", "1"));  // the own-extension record
}

TEST_F(TempDir, RefusedAndFailedWritesLeaveTheFileWhole) {
  spit(file_, "[S]\nk=v\n");
  EXPECT_FALSE(writeProfileString("S", "k", "x\ny", file_));
  EXPECT_EQ(slurp(file_), "[S]\nk=v\n");
  // A folder in the file's place cannot be replaced: the write reports failure.
  fs::create_directory(dir_ / "blocked.ini");
  EXPECT_FALSE(writeProfileString("S", "k", "v", dir_ / "blocked.ini"));
  EXPECT_TRUE(fs::is_directory(dir_ / "blocked.ini"));
  // No temporary files are left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 2);
}

TEST_F(TempDir, EmptyKeyNameIsAKeyOfItsOwn) {
  ASSERT_TRUE(writeProfileString("KeepConnect", ".avi", "1", file_));
  ASSERT_TRUE(writeProfileString("KeepConnect", "", "1", file_));
  EXPECT_EQ(profileInt("KeepConnect", "", 0, file_), 1);
  EXPECT_EQ(slurp(file_), "[KeepConnect]\r\n.avi=1\r\n=1\r\n");
}

TEST_F(TempDir, WritesKeepPermissionsAndFollowSymlinks) {
  spit(file_, "[S]\nk=v\n");
  ::chmod(file_.c_str(), 0640);
  fs::create_symlink(file_, dir_ / "link.ini");
  ASSERT_TRUE(writeProfileString("S", "k", "w", dir_ / "link.ini"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.ini"));
  EXPECT_EQ(slurp(file_), "[S]\nk=w\n");
  struct stat st {};
  ::stat(file_.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(TempDir, LongResumePathComesBackWhole) {
  std::string path = "file:///" + std::string(1500, 'x') + "/My Clip #1 %20 ü.mkv";
  ASSERT_TRUE(writeProfileString(kResumeSection, kResumeFilePathKey, path, file_));
  EXPECT_EQ(profileString(kResumeSection, kResumeFilePathKey, "", file_), path);
}

TEST_F(TempDir, HandWrittenWindowsFileReadsAsWindowsWouldAndSurvivesAWrite) {
  fs::copy_file(kGolden / "hand-written.ini", file_);
  int expectedFlags[] = {1, 0, 1, 1, 2, 0, 1};
  for (int i = 0; i < kOptionCount; ++i)
    EXPECT_EQ(profileInt(kOptionSection, kOptionKeys[i], 0, file_), expectedFlags[i]) << kOptionKeys[i];
  EXPECT_EQ(profileInt("Screen", "Top", 0, file_), -1500);
  EXPECT_EQ(profileString("Unknown Section", "something", "", file_), "else ; not a comment");
  EXPECT_EQ(profileString("ResumeInfo", "FilePath", "", file_), "file:///home/u/My Clip.mkv");

  ASSERT_TRUE(writeProfileString("Screen", "Left", "-30", file_));
  ASSERT_TRUE(writeProfileString("ResumeInfo", "FilePath", "file:///home/u/Other.mkv", file_));
  EXPECT_EQ(slurp(file_), slurp(kGolden / "hand-written.after.ini"));
}

TEST_F(TempDir, TwoProcessesWritingConcurrentlyLoseNoKey) {
  constexpr int kKeys = 500;
  auto writer = [&](char who) {
    for (int i = 0; i < kKeys; ++i) {
      std::string key = std::string(1, who) + std::to_string(i);
      if (!writeProfileString("Stress", key, "first", file_)) ::_exit(1);
      if (i % 5 == 0 && !writeProfileString("Stress", key, "last" + key, file_)) ::_exit(1);
    }
    ::_exit(0);
  };
  pid_t pids[2];
  for (int i = 0; i < 2; ++i)
    if ((pids[i] = ::fork()) == 0) writer("ab"[i]);
  for (pid_t pid : pids) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  std::string contents = slurp(file_);
  EXPECT_EQ(std::count(contents.begin(), contents.end(), '\n'), 2 * kKeys + 1);
  for (char who : {'a', 'b'})
    for (int i = 0; i < kKeys; ++i) {
      std::string key = std::string(1, who) + std::to_string(i);
      EXPECT_EQ(findProfileValue(contents, "Stress", key), i % 5 == 0 ? "last" + key : "first");
    }
}

TEST(SettingsLocation, BesideTheProgramUnlessThatFolderIsReadOnly) {
  char tmpl[] = "/tmp/korvane-loc-XXXXXX";
  fs::path dir = ::mkdtemp(tmpl);
  ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  EXPECT_EQ(settingsFilePath(dir / "bin", true), dir / "bin" / "kvnset.ini");
  EXPECT_EQ(settingsFilePath(dir / "bin", false), dir / "config" / "korvane-rp3" / "kvnset.ini");
  // A file that is already there is used even in a read-only folder.
  fs::create_directory(dir / "bin");
  spit(dir / "bin" / "kvnset.ini", "");
  EXPECT_EQ(settingsFilePath(dir / "bin", false), dir / "bin" / "kvnset.ini");
  // The separator is always added: a program in the root folder still names a valid file.
  EXPECT_EQ(settingsFilePath("/", true).native(), "//kvnset.ini");
  ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  ::setenv("HOME", dir.c_str(), 1);
  EXPECT_EQ(settingsFilePath(dir / "nowhere", false), dir / ".config" / "korvane-rp3" / "kvnset.ini");
  fs::remove_all(dir);
}
