// SPDX-License-Identifier: MIT
// The entry player driven as a user drives it: real key presses, a real drag and drop,
// the open-file dialog, and the title bar and window size that follow the clip. (What each
// key does is the form's tests' and the engine's; Shift+ keys are pressed under Weston.)
#include "tests/e2e/Desktop.h"

#include <gtest/gtest.h>

using namespace korvane::e2e;

namespace {

constexpr const char* kEntry = "KorvaneRP3LXZELTA";
const QString kMedia = KORVANE_TEST_DATA_DIR "/media";

class PlayerKeys : public ::testing::Test {
 protected:
  void SetUp() override { install.setFlag("OriginalFit", "1"); }
  static bool named(const std::string& title, const std::string& name) {
    return title.rfind(name + " [", 0) == 0 && captionPosition(title).has_value();
  }
  ScratchInstall install{kEntry};
};

}  // namespace

// One run from the tagged mp3: its title and slim window, and real drops (a web address
// refused, a name that is not UTF-8). N and B: the form's table, and the desktop's next
// on the real player.
TEST_F(PlayerKeys, TitleSlimWindowAndDrops) {
  Program player(install, kEntry, {kMedia + "/tagged.mp3"});
  ASSERT_TRUE(player.waitForWindow());
  auto shows = [&](const std::string& name, std::chrono::milliseconds timeout = 5s) {
    return player.waitForTitle([&](const std::string& t) { return named(t, name); }, timeout);
  };
  EXPECT_TRUE(shows("Tagged Tone/Tone Artist", 3s)) << player.title();
  EXPECT_TRUE(waitFor([&] { auto g = player.geometry(); return g.width == 247 && g.height == 57; }, 5s))
      << "no picture: the slim window";

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
