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

// Only "file://" sources, as written, give a path (what they give the engine tests open).
TEST(Playlist, KindFollowsTheExtensionWhateverItsCaseAndOnlyFileUrlsGiveAPath) {
  for (const char* url : {"http://host/a.mp3", "FILE:///a.mp3", ""})
    EXPECT_EQ(pathFromFileUrl(url), std::nullopt) << url;
  const std::pair<const char*, PlaylistKind> kinds[] = {
      {"/a/list.M3U", PlaylistKind::M3u}, {"x.Pls", PlaylistKind::Pls}, {"x.RAM", PlaylistKind::Ram},
      {"x.rm", PlaylistKind::None}, {"/dir.ram/clip", PlaylistKind::None}};  // a folder's dot is no extension
  for (auto [path, kind] : kinds) EXPECT_EQ(playlistKindOf(path), kind) << path;
}

// Relative entries are anchored ("./" too, so none reads as an option); a .ram "file://"
// entry is a raw path like our own sources, while other lists pass URLs to the engine.
TEST(Playlist, EachKindIsParsedIntoLoadArguments) {
  // text, kind, the list's folder, entries
  const std::tuple<const char*, PlaylistKind, const char*, Entries> cases[] = {
      {"\xEF\xBB\xBF# list\r\n  one.rm  \r\n\r\n/abs/two.rm\rrtsp://h/x.rm\n#x\nsub/3.rm", PlaylistKind::Ram, "/lists",
       {"/lists/one.rm", "/abs/two.rm", "rtsp://h/x.rm", "/lists/sub/3.rm"}},
      {"file:///m/a%20b.rm\nfile://rel.rm\n", PlaylistKind::Ram, "", {"/m/a%20b.rm", "./rel.rm"}},
      {"#EXTM3U\n#EXTINF:2,Tone\nfile:///m/a%20b.wav\n--odd.wav\n", PlaylistKind::M3u, "",
       {"file:///m/a%20b.wav", "./--odd.wav"}},
      {"[playlist]\nNumberOfEntries=2\nFile1=a.mp3\nTitle1=A\nfile2 = /b.mp3\nFileX=c\n", PlaylistKind::Pls, "/p/",
       {"/p/a.mp3", "/b.mp3"}},
  };
  for (const auto& [text, kind, base, entries] : cases) EXPECT_EQ(parsePlaylist(text, kind, base), entries) << text;
}

// Names equal by value are still ordered (by their bytes), so a folder sorts the same way
// whatever order it lists its files in.
TEST(NaturalOrder, DigitRunsCompareByValue) {
  const std::pair<const char*, const char*> ascending[] = {
      {"clip 2.mp3", "clip 10.mp3"}, {"a.wav", "B.wav"}, {"x2", "x02a"}, {"track", "track1"},
      {"99999999999999999999998", "99999999999999999999999"}, {"a01", "a1"}};  // no overflow; a tie
  for (auto [a, b] : ascending) {
    EXPECT_LT(naturalCompare(a, b), 0) << a << " < " << b;
    EXPECT_GT(naturalCompare(b, a), 0) << b << " > " << a;
  }
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
