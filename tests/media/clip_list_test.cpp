// SPDX-License-Identifier: MIT
// Source texts, playlist parsing and folder stepping, without libmpv.
#include "player/media/ClipList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

namespace korvane::media {
namespace {

namespace fs = std::filesystem;

TEST(SourceText, FilePathIsTakenExactlyAsWrittenAndRelativeNamesAreAnchored) {
  const std::pair<const char*, std::optional<std::string>> urls[] = {
      {"file:///home/u/My Clip%20#1.mkv", "/home/u/My Clip%20#1.mkv"}, {"file://", ""},
      {"file://relative/a.wav", "relative/a.wav"}, {"http://host/a.mp3", {}}, {"FILE:///a.mp3", {}}, {"", {}}};
  for (auto& [url, path] : urls) EXPECT_EQ(pathFromFileUrl(url), path) << url;
  // No relative name may read as an option or a protocol.
  const std::pair<const char*, const char*> args[] = {
      {"/abs/--x.wav", "/abs/--x.wav"}, {"--x.wav", "./--x.wav"}, {"-", "./-"}, {"a:b", "./a:b"},
      {"x://y.wav", "./x://y.wav"}};
  for (auto [name, arg] : args) EXPECT_EQ(loadArgument(name), arg) << name;
}

TEST(Playlist, KindFollowsTheExtensionWhateverItsCase) {
  const std::pair<const char*, PlaylistKind> kinds[] = {
      {"/a/list.M3U", PlaylistKind::M3u}, {"x.Pls", PlaylistKind::Pls}, {"x.RAM", PlaylistKind::Ram},
      {"x.rm", PlaylistKind::None}, {"/dir.ram/clip", PlaylistKind::None}};  // a folder's dot is no extension
  for (auto [path, kind] : kinds) EXPECT_EQ(playlistKindOf(path), kind) << path;
}

TEST(Playlist, RamSkipsCommentsAndBlanksAndReadsAnyLineEnd) {
  const auto entries = parsePlaylist("\xEF\xBB\xBF# list\r\n  one.rm  \r\n\r\n/abs/two.rm\rrtsp://h/x.rm\n#x\nsub/3.rm",
                                     PlaylistKind::Ram, "/lists");
  EXPECT_EQ(entries, (std::vector<std::string>{"/lists/one.rm", "/abs/two.rm", "rtsp://h/x.rm", "/lists/sub/3.rm"}));
}

TEST(Playlist, RamFileEntriesAreRawPathsLikeOurSources) {
  const auto entries = parsePlaylist("file:///m/a%20b.rm\nfile://rel.rm\n", PlaylistKind::Ram, "");
  EXPECT_EQ(entries, (std::vector<std::string>{"/m/a%20b.rm", "./rel.rm"}));
}

TEST(Playlist, M3uPassesUrlsToTheEngineAndResolvesRelativeEntries) {
  const auto entries =
      parsePlaylist("#EXTM3U\n#EXTINF:2,Tone\nfile:///m/a%20b.wav\n--odd.wav\n", PlaylistKind::M3u, "");
  EXPECT_EQ(entries, (std::vector<std::string>{"file:///m/a%20b.wav", "./--odd.wav"}));
}

TEST(Playlist, PlsReadsOnlyFileKeys) {
  const auto entries = parsePlaylist("[playlist]\nNumberOfEntries=2\nFile1=a.mp3\nTitle1=A\nfile2 = /b.mp3\nFileX=c\n",
                                     PlaylistKind::Pls, "/p/");
  EXPECT_EQ(entries, (std::vector<std::string>{"/p/a.mp3", "/b.mp3"}));
}

TEST(Playlist, EmptyOrCommentOnlyGivesNoEntries) {
  EXPECT_TRUE(parsePlaylist("", PlaylistKind::Ram, "").empty());
  EXPECT_TRUE(parsePlaylist("# nothing\n\n", PlaylistKind::M3u, "").empty());
}

TEST(NaturalOrder, DigitRunsCompareByValue) {
  const std::pair<const char*, const char*> ascending[] = {
      {"clip 2.mp3", "clip 10.mp3"}, {"clip 9.mp3", "clip 10.mp3"}, {"a.wav", "B.wav"}, {"x2", "x02a"},
      {"track", "track1"}, {"99999999999999999999998", "99999999999999999999999"}};  // no overflow
  for (auto [a, b] : ascending) {
    EXPECT_LT(naturalCompare(a, b), 0) << a << " < " << b;
    EXPECT_GT(naturalCompare(b, a), 0) << b << " > " << a;
  }
  EXPECT_EQ(naturalCompare("same", "same"), 0);
  // Equal by value, yet ordered, so sorting is stable whatever the input order.
  EXPECT_NE(naturalCompare("a01", "a1"), 0);
  EXPECT_EQ(naturalCompare("a01", "a1"), -naturalCompare("a1", "a01"));
}

class FolderStepping : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("korvane-step-" + std::to_string(::getpid()));
    fs::create_directories(dir / "sub.mp4");  // a folder with a media name is no clip
    for (const char* name : {"clip 10.wav", "clip 2.mp3", "clip 1.wav", "readme.txt", "odd.xyz"})
      std::ofstream(dir / name) << "x";
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string at(const char* name) const { return (dir / name).string(); }
  fs::path dir;
};

TEST_F(FolderStepping, StepsThroughMediaFilesInNaturalOrderAndStopsAtTheEnds) {
  struct Case {
    const char* from;
    int step;
    const char* to;  // nullptr: nothing there
  } cases[] = {
      {"clip 1.wav", 1, "clip 2.mp3"},   {"clip 2.mp3", 1, "clip 10.wav"}, {"clip 10.wav", 1, nullptr},
      {"clip 10.wav", -1, "clip 2.mp3"}, {"clip 1.wav", -1, nullptr},
      // The current clip takes its place whatever its extension; a missing folder has nothing.
      {"odd.xyz", -1, "clip 10.wav"},    {"odd.xyz", 1, nullptr},         {"gone/clip.wav", 1, nullptr},
  };
  for (const Case& c : cases)
    EXPECT_EQ(stepInFolder(at(c.from), c.step), c.to ? std::optional(at(c.to)) : std::nullopt) << c.from << c.step;
}

TEST_F(FolderStepping, KeepsTheFolderTextAsWritten) {
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  EXPECT_EQ(stepInFolder("clip 1.wav", 1), "clip 2.mp3");
  EXPECT_EQ(stepInFolder("./clip 1.wav", 1), "./clip 2.mp3");
  fs::current_path(old);
  EXPECT_EQ(stepInFolder(dir.string() + "//clip 1.wav", 1), dir.string() + "//clip 2.mp3");
}

}  // namespace
}  // namespace korvane::media
