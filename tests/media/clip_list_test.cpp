// SPDX-License-Identifier: MIT
// Source texts, playlist parsing and folder stepping, without libmpv.
#include "player/media/ClipList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace korvane::media {
namespace {

namespace fs = std::filesystem;

TEST(SourceText, FilePathIsTakenExactlyAsWritten) {
  EXPECT_EQ(pathFromFileUrl("file:///home/u/My Clip%20#1.mkv"), "/home/u/My Clip%20#1.mkv");
  EXPECT_EQ(pathFromFileUrl("file://"), "");
  EXPECT_EQ(pathFromFileUrl("file://relative/a.wav"), "relative/a.wav");
  EXPECT_FALSE(pathFromFileUrl("http://host/a.mp3"));
  EXPECT_FALSE(pathFromFileUrl("FILE:///a.mp3"));
  EXPECT_FALSE(pathFromFileUrl(""));
}

TEST(SourceText, RelativePathsAreAnchoredSoNoNameReadsAsOptionOrProtocol) {
  EXPECT_EQ(loadArgument("/abs/--x.wav"), "/abs/--x.wav");
  EXPECT_EQ(loadArgument("--x.wav"), "./--x.wav");
  EXPECT_EQ(loadArgument("-"), "./-");
  EXPECT_EQ(loadArgument("a:b"), "./a:b");
  EXPECT_EQ(loadArgument("x://y.wav"), "./x://y.wav");
}

TEST(Playlist, KindFollowsTheExtensionWhateverItsCase) {
  EXPECT_EQ(playlistKindOf("/a/list.M3U"), PlaylistKind::M3u);
  EXPECT_EQ(playlistKindOf("x.Pls"), PlaylistKind::Pls);
  EXPECT_EQ(playlistKindOf("x.RAM"), PlaylistKind::Ram);
  EXPECT_EQ(playlistKindOf("x.rm"), PlaylistKind::None);
  EXPECT_EQ(playlistKindOf("/dir.ram/clip"), PlaylistKind::None);  // a folder's dot is no extension
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
  EXPECT_LT(naturalCompare("clip 2.mp3", "clip 10.mp3"), 0);
  EXPECT_GT(naturalCompare("clip 10.mp3", "clip 9.mp3"), 0);
  EXPECT_LT(naturalCompare("a.wav", "B.wav"), 0);
  EXPECT_LT(naturalCompare("x2", "x02a"), 0);
  EXPECT_LT(naturalCompare("track", "track1"), 0);
  EXPECT_EQ(naturalCompare("same", "same"), 0);
  // Long digit runs do not overflow.
  EXPECT_LT(naturalCompare("99999999999999999999998", "99999999999999999999999"), 0);
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
  EXPECT_EQ(stepInFolder(at("clip 1.wav"), 1), at("clip 2.mp3"));
  EXPECT_EQ(stepInFolder(at("clip 2.mp3"), 1), at("clip 10.wav"));
  EXPECT_FALSE(stepInFolder(at("clip 10.wav"), 1));
  EXPECT_EQ(stepInFolder(at("clip 10.wav"), -1), at("clip 2.mp3"));
  EXPECT_FALSE(stepInFolder(at("clip 1.wav"), -1));
}

TEST_F(FolderStepping, CurrentClipOfAnyExtensionTakesItsPlace) {
  EXPECT_EQ(stepInFolder(at("odd.xyz"), -1), at("clip 10.wav"));
  EXPECT_FALSE(stepInFolder(at("odd.xyz"), 1));
}

TEST_F(FolderStepping, KeepsTheFolderTextAsWritten) {
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  EXPECT_EQ(stepInFolder("clip 1.wav", 1), "clip 2.mp3");
  EXPECT_EQ(stepInFolder("./clip 1.wav", 1), "./clip 2.mp3");
  fs::current_path(old);
  EXPECT_EQ(stepInFolder(dir.string() + "//clip 1.wav", 1), dir.string() + "//clip 2.mp3");
}

TEST_F(FolderStepping, MissingFolderGivesNothing) {
  EXPECT_FALSE(stepInFolder(at("gone/clip.wav"), 1));
}

}  // namespace
}  // namespace korvane::media
