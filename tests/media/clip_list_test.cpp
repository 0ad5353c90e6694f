// SPDX-License-Identifier: MIT
// Source texts, playlist parsing and folder stepping, without libmpv.
#include "player/media/ClipList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace korvane::media {
namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::string>;

TEST(SourceText, OnlyFileUrlsGiveAPathTakenExactlyAsWritten) {
  const std::pair<const char*, std::optional<std::string>> urls[] = {
      {"file:///home/u/My Clip%20#1.mkv", "/home/u/My Clip%20#1.mkv"}, {"file://", ""},
      {"file://relative/a.wav", "relative/a.wav"}, {"http://host/a.mp3", {}}, {"FILE:///a.mp3", {}}, {"", {}}};
  for (auto& [url, path] : urls) EXPECT_EQ(pathFromFileUrl(url), path) << url;
}

TEST(Playlist, KindFollowsTheExtensionWhateverItsCase) {
  const std::pair<const char*, PlaylistKind> kinds[] = {
      {"/a/list.M3U", PlaylistKind::M3u}, {"x.Pls", PlaylistKind::Pls}, {"x.RAM", PlaylistKind::Ram},
      {"x.rm", PlaylistKind::None}, {"/dir.ram/clip", PlaylistKind::None}};  // a folder's dot is no extension
  for (auto [path, kind] : kinds) EXPECT_EQ(playlistKindOf(path), kind) << path;
}

// Relative entries are anchored ("./" too, so none reads as an option); a .ram "file://"
// entry is a raw path like our own sources, while other lists pass URLs to the engine.
TEST(Playlist, EachKindIsParsedIntoLoadArguments) {
  const struct {
    const char* text;
    PlaylistKind kind;
    const char* base;
    Entries entries;
  } cases[] = {
      {"\xEF\xBB\xBF# list\r\n  one.rm  \r\n\r\n/abs/two.rm\rrtsp://h/x.rm\n#x\nsub/3.rm", PlaylistKind::Ram, "/lists",
       {"/lists/one.rm", "/abs/two.rm", "rtsp://h/x.rm", "/lists/sub/3.rm"}},
      {"file:///m/a%20b.rm\nfile://rel.rm\n", PlaylistKind::Ram, "", {"/m/a%20b.rm", "./rel.rm"}},
      {"#EXTM3U\n#EXTINF:2,Tone\nfile:///m/a%20b.wav\n--odd.wav\n", PlaylistKind::M3u, "",
       {"file:///m/a%20b.wav", "./--odd.wav"}},
      {"[playlist]\nNumberOfEntries=2\nFile1=a.mp3\nTitle1=A\nfile2 = /b.mp3\nFileX=c\n", PlaylistKind::Pls, "/p/",
       {"/p/a.mp3", "/b.mp3"}},
      {"", PlaylistKind::Ram, "", {}},
      {"# nothing\n\n", PlaylistKind::M3u, "", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(parsePlaylist(c.text, c.kind, c.base), c.entries) << c.text;
}

TEST(NaturalOrder, DigitRunsCompareByValue) {
  const std::pair<const char*, const char*> ascending[] = {
      {"clip 2.mp3", "clip 10.mp3"}, {"a.wav", "B.wav"}, {"x2", "x02a"},
      {"track", "track1"}, {"99999999999999999999998", "99999999999999999999999"}};  // no overflow
  for (auto [a, b] : ascending) {
    EXPECT_LT(naturalCompare(a, b), 0) << a << " < " << b;
    EXPECT_GT(naturalCompare(b, a), 0) << b << " > " << a;
  }
  // Equal by value, yet ordered, so sorting is stable whatever the input order.
  EXPECT_NE(naturalCompare("a01", "a1"), 0);
  EXPECT_EQ(naturalCompare("a01", "a1"), -naturalCompare("a1", "a01"));
}

// From inside the folder, so that a relative source keeps its text too.
TEST(FolderStepping, StepsThroughMediaFilesInNaturalOrderAndStopsAtTheEnds) {
  const fs::path dir = fs::temp_directory_path() / ("korvane-step-" + std::to_string(::getpid()));
  fs::create_directories(dir / "sub.mp4");  // a folder with a media name is no clip
  for (const char* name : {"clip 10.wav", "clip 2.mp3", "clip 1.wav", "readme.txt", "odd.xyz"})
    std::ofstream(dir / name) << "x";
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  const std::string abs = dir.string() + "//";
  const std::tuple<std::string, int, std::optional<std::string>> cases[] = {
      {"clip 1.wav", 1, "clip 2.mp3"}, {"./clip 2.mp3", 1, "./clip 10.wav"}, {abs + "clip 10.wav", 1, {}},
      {abs + "clip 10.wav", -1, abs + "clip 2.mp3"}, {"clip 1.wav", -1, {}},
      // The current clip takes its place whatever its extension; a missing folder has nothing.
      {"odd.xyz", -1, "clip 10.wav"}, {"odd.xyz", 1, {}}, {"gone/clip.wav", 1, {}},
  };
  for (const auto& [from, step, to] : cases) EXPECT_EQ(stepInFolder(from, step), to) << from << step;
  fs::current_path(previous);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace korvane::media
