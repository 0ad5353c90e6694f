// SPDX-License-Identifier: MIT
// The entry player driven as a user drives it: real key presses, a real drag and drop,
// the open-file dialog, and the title bar and window size that follow the clip.
#include "tests/e2e/Desktop.h"

#include <gtest/gtest.h>

using namespace korvane::e2e;

namespace {

constexpr const char* kEntry = "KorvaneRP3LXZELTA";
const QString kMedia = KORVANE_TEST_DATA_DIR "/media";

class PlayerKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    install.setFlag("OriginalFit", "1");
  }
  static bool named(const std::string& title, const std::string& name) {
    return title.rfind(name + " [", 0) == 0 && captionPosition(title).has_value();
  }
  static bool sized(const Program& player, int width, int height) {
    return waitFor([&] { auto g = player.geometry(); return g.width == width && g.height == height; }, 5s);
  }
  // The caption's position once it has stood for more than one tick of its clock.
  static std::optional<int> standing(Program& player) {
    std::optional<int> last;
    auto since = std::chrono::steady_clock::now();
    const bool stood = waitFor([&] {
      const auto now = captionPosition(player.title());
      if (now != last) last = now, since = std::chrono::steady_clock::now();
      return last && std::chrono::steady_clock::now() - since > 1200ms;
    }, 8s);
    return stood ? last : std::nullopt;
  }
  ScratchInstall install{kEntry};
};

}  // namespace

// One run on the long clip: the window follows the picture, the panel follows M and [ ]
// while paused, the position stands while paused, F and R seek by seconds, and Space and
// Shift+. resume and stop.
TEST_F(PlayerKeys, OriginalFitAndSpaceFRMAndLevelKeysOnAPlayingClip) {
  const std::string clip = longClip().string();
  const std::string name = fs::path(clip).filename().string();
  Program player(install, kEntry, {QString::fromStdString(clip)});
  ASSERT_TRUE(player.waitForWindow());
  EXPECT_TRUE(sized(player, 327, 297)) << "4900 x 4462 twips at 15 twips per pixel for 320 x 240";
  ASSERT_TRUE(player.waitForTitle([&](const std::string& t) { return named(t, name) && captionPosition(t) >= 1; }))
      << player.title();

  player.key("space");
  const int paused = standing(player).value_or(-1);
  ASSERT_GE(paused, 1) << "paused: " << player.title();
  auto panel = [&] {  // the control panel lies in the bottom strip; paused, only the keys change it
    const QImage shot = player.screenshot();
    return shot.copy(0, shot.height() - 80, shot.width(), 80);
  };
  auto changes = [&](const char* keys) {
    const QImage before = panel();
    player.key(keys);
    return waitFor([&] { return panel() != before; }, 5s);
  };
  EXPECT_TRUE(changes("m")) << "the mute button shows the change";
  EXPECT_TRUE(changes("m")) << "and again when sound is back";
  EXPECT_TRUE(changes("bracketright")) << "level - 1000: the volume goes to its lowest";
  EXPECT_TRUE(changes("bracketleft bracketleft bracketleft"));
  EXPECT_EQ(captionPosition(player.title()).value_or(-2), paused) << "the position stands while paused";

  auto reaches = [&](const std::function<bool(int)>& ok) {
    return player.waitForTitle([&](const std::string& t) { return ok(captionPosition(t).value_or(-1)); }, 5s);
  };
  player.key("f f f f f f");
  EXPECT_TRUE(reaches([&](int s) { return s == paused + 6; })) << player.title();
  player.key("r r");
  EXPECT_TRUE(reaches([&](int s) { return s == paused + 4; })) << player.title();
  player.key("space");
  EXPECT_TRUE(reaches([&](int s) { return s >= paused + 6; })) << "playing again: " << player.title();
  player.key("shift+period");  // stop, Shift or not
  EXPECT_TRUE(reaches([&](int s) { return s == 0; })) << "stopped: " << player.title();
}

// One run from the tagged mp3: its title and slim window, real drops (a web address
// refused, a folder's clip, a name that is not UTF-8), N and B through that folder.
TEST_F(PlayerKeys, TitleDropAndFolderSteps) {
  Program player(install, kEntry, {kMedia + "/tagged.mp3"});
  ASSERT_TRUE(player.waitForWindow());
  auto shows = [&](const std::string& name, std::chrono::milliseconds timeout = 5s) {
    return player.waitForTitle([&](const std::string& t) { return named(t, name); }, timeout);
  };
  EXPECT_TRUE(shows("Tagged Tone/Tone Artist", 3s)) << player.title();
  EXPECT_TRUE(sized(player, 247, 57)) << "no picture: the slim window";

  // The action the drop target gave back: 1 copied, 0 refused, -1 no drag.
  auto drop = [&](const QString& what) {
    // A window at (900, 700), 120 px wide, that drags what is pressed on it.
    Program source({KORVANE_BIN_DIR "/../tests/korvane_drag_source", what}, install.environment());
    if (!source.waitForWindow()) return -1;
    const auto g = player.geometry();
    // No --sync to the start: it waits for ever if the pointer is there already.
    QStringList drag{"mousemove", "960", "760", "sleep", "0.2", "mousedown", "1"};
    for (int step = 1; step <= 10; ++step)  // the drag sees motion on its way to the player
      drag << "sleep" << "0.05" << "mousemove" << QString::number(960 + (g.x + g.width / 2 - 960) * step / 10)
           << QString::number(760 + (g.y + g.height / 2 - 760) * step / 10);
    run("xdotool", drag << "sleep" << "0.3" << "mouseup" << "1");
    return source.waitForExit(5s) ? source.exitCode() : -1;
  };
  EXPECT_EQ(drop("https://example.org/clip.mp4"), 0) << "nothing the player can play";
  EXPECT_EQ(drop(kMedia + "/folder/clip 1.wav"), 1);
  EXPECT_TRUE(shows("clip 1.wav")) << player.title();

  player.key("n");  // "clip 2.mp3" has no tags: its labels make "/"
  EXPECT_TRUE(shows("/")) << player.title();
  player.key("shift+n");
  EXPECT_TRUE(shows("clip 10.mp4")) << player.title();
  player.key("b");
  EXPECT_TRUE(shows("/")) << player.title();

  // The name's bytes reach the engine as they are; the title shows them as the desktop does.
  fs::copy_file(KORVANE_TEST_DATA_DIR "/media/folder/clip 1.wav", install.dir() / "\xff.wav");
  EXPECT_EQ(drop(QString::fromStdString("file://" + install.dir().string() + "/%FF.wav")), 1);
  EXPECT_TRUE(shows("\uFFFD.wav")) << player.title();
}

// Another program and D's dialog each keep the keys while the clip behind them ends and the
// list steps on to its next clip, on a bare display and under a window manager: the keys
// typed reach the other program; the user's Escape cancels the dialog (leaving "file://"
// loaded). Neither ever reaches the player.
TEST_F(PlayerKeys, OtherProgramsAndTheOpenDialogKeepTheKeysWhileClipsEndAndStepBehind) {
  for (const bool framed : {false, true}) {
    SCOPED_TRACE(framed ? "under openbox" : "bare display");
    if (framed) {
      ASSERT_EQ(korvane::testing::startWindowManager(), "");
    }
    auto ended = [](const std::string& t) { return t == "Tagged Tone/Tone Artist [00:03/00:03]"; };
    {
      Program player(install, kEntry, {kMedia + "/list.m3u"});  // a 2 s clip, then a 3 s one
      ASSERT_TRUE(player.waitForWindow());
      // Its own activation at start first: the other program is the one typed in after it.
      waitFor([&] { return run("xdotool", {"getwindowfocus"}) == std::to_string(player.window()); }, 3s);
      WindowWatch other;
      EXPECT_TRUE(player.waitForTitle(ended, 15s)) << "the list stepped on and ended: " << player.title();
      EXPECT_FALSE(other.lostFocus()) << "the other program kept the keys";
      run("xdotool", {"key", "space", "Escape"});
      EXPECT_TRUE(waitFor([&] { return other.keys() == 2; }, 5s)) << other.keys();
      EXPECT_TRUE(player.running()) << "Escape went to the other program";
    }
    Program player(install, kEntry, {kMedia + "/list.m3u"});
    ASSERT_TRUE(player.waitForWindow());
    ASSERT_TRUE(player.waitForTitle([](const std::string& t) { return captionPosition(t).has_value(); }))
        << player.title();
    player.key("d");
    QStringList dialog;
    ASSERT_TRUE(waitFor([&] { return (dialog = windowsNamed("ファイルを開く")).size() == 1; }, 10s));
    ASSERT_TRUE(waitFor([&] { return run("xdotool", {"getwindowfocus"}) == dialog[0].toStdString(); }, 5s))
        << "the dialog opens with the keys";
    WindowWatch watch(dialog[0].toULong());
    EXPECT_TRUE(player.waitForTitle(ended, 15s))
        << "the list stepped on and ended: " << player.title();
    EXPECT_FALSE(watch.lostFocus()) << "the dialog kept the keys";
    run("xdotool", {"key", "Escape"});
    EXPECT_TRUE(player.waitForTitle([](const std::string& t) { return t.rfind("[00:00/00:00]", 0) == 0; }, 5s))
        << player.title();
    EXPECT_TRUE(player.running()) << "Escape went to the dialog";
  }
  korvane::testing::stopWindowManager();
}
