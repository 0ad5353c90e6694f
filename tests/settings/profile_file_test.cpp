// SPDX-License-Identifier: MIT
// The settings file must read and write exactly as the Windows profile functions
// do, since a Windows profile reader shares these files with us.
#include "settings/ProfileFile.h"

#include "tests/fakes/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <tuple>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using korvane::fakes::slurp;
using korvane::fakes::spit;
using namespace korvane::settings;

namespace {

class TempDir : public ::testing::Test {
 protected:
  void TearDown() override { fs::remove_all(dir_); }
  std::string name_ = "/tmp/korvane-settings-XXXXXX";
  const fs::path dir_{::mkdtemp(name_.data())};
  const fs::path file_ = dir_ / "kvnset.ini";
};


}  // namespace

TEST(ProfileRead, ValuesSectionsAndCommentsReadAsWindowsReadsThem) {
  const std::string ini =
      "\xEF\xBB\xBForphan=1\r\n[ section1 ]\r\nname1=val1\nname2=\"val2\"\nname3\nk=v ; x\n"
      "q='single'\nmixed=\"a'\nlone=\"\n;c=hidden\n  ; c=hidden too\nc=shown\n"
      "[SECTION2]\rkey=b\r[section1]\nother=late\n[nul]\nkey=ab" + std::string(1, '\0') + "cd\n";
  const std::tuple<const char*, const char*, std::optional<std::string>> cases[] = {
      {"section1", "name2", "val2"}, {"section1", "NaMe1", "val1"}, {"section1", "name3", std::nullopt},
      {"section1", "k", "v ; x"},    {"section1", "q", "single"},   {"section1", "mixed", "\"a'"},
      {"section1", "lone", "\""},    {"section1", "absent", std::nullopt}, {"section1", "c", "shown"},
      {" Section2 ", "key", "b"},    // CR-only line ends too
      // Only the first section of a name counts; lines before any section belong to none.
      {"section1", "other", std::nullopt}, {"", "orphan", std::nullopt}, {"nul", "key", "ab"},
  };
  for (auto& [section, key, value] : cases) EXPECT_EQ(findProfileValue(ini, section, key), value) << key;
}

TEST(ProfileRead, IntegersWrapModulo2To32) {
  const std::pair<const char*, int> cases[] = {
      {"-1", -1}, {"+1", 1}, {"4294967296", 0}, {"4294967297", 1}, {"42A94967297", 42}, {"B4294967297", 0},
      {"yes", 0}, {"2", 2}, {"  7", 7}, {"2147483648", INT32_MIN}, {"-", 0}, {"0x10", 0}, {"", 99}};
  for (auto [text, expected] : cases) EXPECT_EQ(parseProfileInt(text, 99), expected) << text;
}

TEST_F(TempDir, WritingIntoAMissingFileGivesWindowsBytes) {
  for (auto [app, n] : {std::pair{"App1", 1}, {"App1", 2}, {"App1", 3}, {"App2", 4}, {"App3", 5}})
    ASSERT_TRUE(writeProfileString(app, "key" + std::to_string(n), "string" + std::to_string(n), file_));
  EXPECT_EQ(slurp(file_),
            "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n"
            "[App3]\r\nkey5=string5\r\n");
}

TEST(ProfileWrite, ReplacingAValueKeepsEveryOtherByte) {
  const std::string ini = "; comment\n\n  [App]  \n   Key = old value   \nnext=1\n\n[Other]\nx=y";
  EXPECT_EQ(applyProfileWrite(ini, "app", "KEY", "new"),
            "; comment\n\n  [App]  \n   Key=new\nnext=1\n\n[Other]\nx=y");
  // A new key goes after the section's last key line, before the blank line.
  EXPECT_EQ(applyProfileWrite(ini, "App", "added", "v"),
            "; comment\n\n  [App]  \n   Key = old value   \nnext=1\nadded=v\r\n\n[Other]\nx=y");
  // The last line has no line end: one is added before the new key or section.
  EXPECT_EQ(applyProfileWrite(ini, "Other", "z", "1"),
            "; comment\n\n  [App]  \n   Key = old value   \nnext=1\n\n[Other]\nx=y\r\nz=1\r\n");
  EXPECT_EQ(applyProfileWrite("[A]", "B", "k", "v"), "[A]\r\n[B]\r\nk=v\r\n");
  // A key line without "=" is the key: the write gives it its value.
  EXPECT_EQ(applyProfileWrite("[A]\nname3\n", "A", "name3", "v"), "[A]\nname3=v\n");
}

// Whatever the file holds, a write that is accepted reads back exactly and a second one
// changes nothing: values a reader would change are quoted, and odd files (CR-only lines,
// a repeated section, a NUL, a section left open, a key line without "=") are written sanely.
TEST(ProfileWrite, AcceptedWritesReadBackExactlyAndAreIdempotentWhateverTheFileHolds) {
  const std::string files[] = {"", "; c\n[ a ]\nb = \"q\"\n", " x [A]\rk\r[B]\n", "[S]\r\nk=v\r",
                               std::string("[S]\nk=a\0b\n[s]\nk=2", 17), "[S", "\xEF\xBB\xBF[S]\nk\n[a]"};
  for (const std::string& file : files)
    for (const char* section : {"S", "a"})
      for (std::string value : {"v", "trailing blank ", " leading", "\"quoted\"", "'single'", "", "\"", "a=b", "; x"}) {
        const auto written = applyProfileWrite(file, section, "k", value);
        ASSERT_TRUE(written) << file << value;
        EXPECT_EQ(findProfileValue(*written, section, "k"), value) << file << value;
        EXPECT_EQ(applyProfileWrite(*written, section, "k", value), written) << file << value;
      }
}

TEST(ProfileWrite, LineBreaksNulAndMisleadingNamesAreRefused) {
  const std::string ini = "[S]\nk=v\n";
  const std::string refused[][3] = {
      {"S", "k", "a\r\n[Korvane RP 3]\r\nAlwaysFront=1"}, {"S", "k", "a\rb"}, {"S", "k", std::string("a\0b", 3)},
      {"S", "k\n", "v"}, {"S]x", "k", "v"}, {"S", "a=b", "v"}, {"S", ";k", "v"}, {"S", "[k", "v"}};
  for (const auto& r : refused) EXPECT_FALSE(applyProfileWrite(ini, r[0], r[1], r[2])) << r[1] << r[2];
}

// Refused and failed writes leave the file whole and no temporary file behind. The file is
// replaced by a new one on every write: a private file must stay private, a link a link.
TEST_F(TempDir, RefusedWritesLeaveTheFileWholeAndWritesKeepALinkAndThePermissions) {
  spit(file_, "[S]\nk=v\n");
  fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_FALSE(writeProfileString("S", "k", "x\ny", file_));
  EXPECT_EQ(slurp(file_), "[S]\nk=v\n");
  fs::create_directory(dir_ / "blocked.ini");  // a folder in the file's place cannot be replaced
  EXPECT_FALSE(writeProfileString("S", "k", "v", dir_ / "blocked.ini"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 2);

  fs::create_symlink(file_, dir_ / "link.ini");
  ASSERT_TRUE(writeProfileString("S", "k", "w", dir_ / "link.ini"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.ini"));
  EXPECT_EQ(slurp(file_), "[S]\nk=w\n");
  EXPECT_EQ(fs::status(file_).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(TempDir, TwoProcessesWritingConcurrentlyLoseNoKey) {
  // Each writes its own 500 keys, every fifth twice, so that the last value must win.
  pid_t pids[2];
  for (int p = 0; p < 2; ++p)
    if ((pids[p] = ::fork()) == 0) {
      for (int i = 0; i < 500; ++i)
        if (!writeProfileString("Stress", "ab"[p] + std::to_string(i), "first", file_) ||
            (i % 5 == 0 && !writeProfileString("Stress", "ab"[p] + std::to_string(i), "last", file_)))
          ::_exit(1);
      ::_exit(0);
    }
  for (pid_t pid : pids) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const std::string contents = slurp(file_);
  EXPECT_EQ(std::count(contents.begin(), contents.end(), '\n'), 1001);  // the section and 1000 keys
  for (char who : {'a', 'b'})
    for (int i = 0; i < 500; ++i)
      EXPECT_EQ(findProfileValue(contents, "Stress", who + std::to_string(i)), i % 5 == 0 ? "last" : "first") << who << i;
}
