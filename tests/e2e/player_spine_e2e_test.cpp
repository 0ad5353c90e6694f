// SPDX-License-Identifier: MIT
// The entry player's geometry and resume across a close and a new start, bare and under a
// window manager, and the hand-over between instances; the top and full-screen editions'
// hand-over by the empty title, the screen saver held off side by side, and what Esc writes.
#include "settings/ProfileFile.h"
#include "tests/e2e/Desktop.h"
#include "tests/fakes/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>

using namespace korvane;
using namespace korvane::e2e;

namespace {

constexpr const char* kEntry = "KorvaneRP3LXZELTA";
const QString kH264 = KORVANE_TEST_DATA_DIR "/media/h264.mp4";

class PlayerSpine : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* flag : {"ScreenInfoSave", "ResumePlay"}) install.setFlag(flag, "1");
  }
  int iniInt(const char* section, const char* key) const {
    return settings::profileInt(section, key, -99999, install.ini());
  }
  std::string resumeFile() const { return settings::profileString("ResumeInfo", "FilePath", "", install.ini()); }
  std::array<int, 4> savedGeometry() const {
    return {iniInt("Screen", "Left"), iniInt("Screen", "Top"), iniInt("Screen", "Width"), iniInt("Screen", "Height")};
  }
  static void closeNormally(Program& player) {
    player.closeWindow();
    ASSERT_TRUE(player.waitForExit());
    EXPECT_EQ(player.exitCode(), 0);
  }
  ScratchInstall install{kEntry};
};

// On a bare display, and with openbox managing it.
class PlayerSpineOn : public PlayerSpine, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    PlayerSpine::SetUp();
    if (GetParam()) {
      ASSERT_EQ(korvane::testing::startWindowManager(), "");
    }
  }
  void TearDown() override { korvane::testing::stopWindowManager(); }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Displays, PlayerSpineOn, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Framed" : "Bare"; });

// Saved sizes it cannot take are brought within the screen; start and close cycles leave
// the saved geometry as it was; moved, resized, put full screen (S; only a window manager
// shows it so) and closed on a clip, it comes back at the outer geometry it was placed at
// (left and top in twips, the size in pixels), on the same clip and position.
TEST_P(PlayerSpineOn, ComesBackWhereItWasClosedWithoutCreepAndWithinTheScreen) {
  const bool framed = GetParam();
  const auto screen = QString::fromStdString(run("xdotool", {"getdisplaygeometry"}).value_or("0 0")).split(' ');
  // None, tiny, beyond the screen and beyond what X11 carries.
  for (auto [width, height] : {std::pair{"0", "0"}, {"2", "25"}, {"20000", "20000"}, {"33000", "33000"}}) {
    SCOPED_TRACE(std::string(width) + " x " + height);
    settings::writeProfileString("Screen", "Width", width, install.ini());
    settings::writeProfileString("Screen", "Height", height, install.ini());
    Program player(install, kEntry);
    ASSERT_TRUE(player.waitForWindow()) << "exit " << player.exitCode();
    // The size it settles at: under load, a reading right after mapping once showed the
    // frame around a client still the screen's size.
    const auto first = player.geometry(true);
    Program::Rect g;
    EXPECT_TRUE(waitFor([&] {
      g = player.geometry(true);
      return g.width >= 100 && g.height >= 30 && g.width <= screen[0].toInt() && g.height <= screen[1].toInt();
    }, 5s)) << g.width << " x " << g.height << ", first " << first.width << " x " << first.height;
    closeNormally(player);
  }

  // From a file without a "Screen" section the frame opens at 0,0, its title bar on the screen.
  for (const char* fit : {"1", "0"}) {
    SCOPED_TRACE(std::string("OriginalFit=") + fit);
    fs::remove(install.ini());
    install.setFlag("ScreenInfoSave", "1");
    install.setFlag("OriginalFit", fit);
    std::array<int, 4> first{};
    // Framed with OriginalFit, where a frame allowance could creep in on each pass: 10 cycles.
    const int starts = framed && *fit == '1' ? 10 : 3;
    for (int start = 1; start <= starts; ++start) {
      Program player(install, kEntry, {kH264});
      ASSERT_TRUE(player.waitForWindow());
      ASSERT_TRUE(player.waitForTitle([](const std::string& t) { return captionPosition(t).has_value(); }))
          << player.title();
      closeNormally(player);
      if (start == 1) first = savedGeometry();
      EXPECT_EQ(savedGeometry(), first) << "start " << start;
    }
    EXPECT_EQ(std::pair(first[0], first[1]), std::pair(0, 0));
  }

  install.setFlag("ResumePlay", "1");
  const std::string clip = (install.dir() / "a[*]b.mp4").string();
  fs::copy_file(longClip(), clip);
  Program::Rect outer;
  int shown = -1;
  {
    Program player(install, kEntry, {QString::fromStdString(clip)});
    ASSERT_TRUE(player.waitForWindow());
    ASSERT_TRUE(player.waitForTitle([](const std::string& t) { return captionPosition(t).value_or(0) >= 2; }))
        << player.title();
    player.place(100, 50, 600, 450);
    ASSERT_TRUE(waitFor([&] { auto g = player.geometry(); return g.width == 600 && g.x == 100 && g.y == 50; }, 5s));
    outer = player.geometry(true);  // under a window manager, the frame around it
    // S, S again: back where it was; S once more, and the close comes in full screen.
    for (int press = 0; press < 3; ++press) {
      player.key("s");
      if (press == 1) {
        EXPECT_TRUE(waitFor([&] { return player.geometry(true) == outer; }, 5s)) << "S again: back where it was";
      } else if (framed) {
        EXPECT_TRUE(waitFor([&] {
          auto g = player.geometry();
          return g.width == screen[0].toInt() && g.height == screen[1].toInt();
        }, 5s)) << "S: full screen";
      }
    }
    shown = captionPosition(player.title()).value_or(-1);
    closeNormally(player);
  }
  EXPECT_EQ(savedGeometry(), (std::array{outer.x * 15, outer.y * 15, outer.width, outer.height}));
  EXPECT_EQ(resumeFile(), "file://" + clip);
  const int position = iniInt("ResumeInfo", "Position");
  EXPECT_NEAR(position, shown * 1000, 2000);  // the caption lags by up to a tick and rounds to seconds

  Program again(install, kEntry);
  ASSERT_TRUE(again.waitForWindow());
  Program::Rect restored;
  EXPECT_TRUE(waitFor([&] { return (restored = again.geometry(true)) == outer; }, 5s))
      << restored.x << "," << restored.y << " " << restored.width << "x" << restored.height;
  // The name shown as it is ("[*]" is no modified-document mark).
  const std::string name = fs::path(clip).filename().string();
  ASSERT_TRUE(again.waitForTitle([&](const std::string& t) { return t.rfind(name + " [", 0) == 0; })) << again.title();
  EXPECT_NEAR(captionPosition(again.title()).value_or(-99), position / 1000 + 1, 2);
  const int height = iniInt("Screen", "Height");
  EXPECT_TRUE(framed ? height > 450 : height == 450) << height << ": only a frame's title bar adds to it";
}

// One chain of starts with NotMultiStart: a player still bearing the entry edition's own
// title is left alone; one bearing "Korvane RP 3 LX" is closed by the next once it has
// saved; SIGTERM closes the normal way; a killed one leaves nothing behind that blocks or
// fools the next start. (A hung one costing the bound only: the registry's own tests.)
TEST_F(PlayerSpine, HandOverChainWithTerminatedAndKilledInstances) {
  for (const char* flag : {"NotMultiStart", "NotPlayInfoDisplay"}) install.setFlag(flag, "1");
  const QString first = QString::fromStdString(longClip().string());

  Program p1(install, kEntry, {first});
  ASSERT_TRUE(p1.waitForWindow());
  EXPECT_EQ(p1.title(), "Korvane RP 3 LX ZELTA");
  Program p2(install, kEntry, {kH264});
  ASSERT_TRUE(p2.waitForWindow());
  EXPECT_EQ(p2.title(), "Korvane RP 3 LX");

  Program p3(install, kEntry);
  ASSERT_TRUE(p3.waitForWindow());
  EXPECT_TRUE(p2.waitForExit());
  EXPECT_EQ(p2.exitCode(), 0);
  EXPECT_EQ(resumeFile(), "file://" + kH264.toStdString());
  EXPECT_EQ(p3.title(), "Korvane RP 3 LX");
  EXPECT_TRUE(p1.running()) << "never closed by the second or the third";

  p1.signal(SIGTERM);
  ASSERT_TRUE(p1.waitForExit());
  EXPECT_EQ(p1.exitCode(), 0);
  EXPECT_EQ(resumeFile(), "file://" + first.toStdString());

  p3.signal(SIGKILL);
  ASSERT_TRUE(p3.waitForExit());
  for (const char* flag : {"ScreenInfoSave", "ResumePlay"}) install.setFlag(flag, "0");  // nothing resizes it
  Program p4(install, kEntry);
  ASSERT_TRUE(p4.waitForWindow());
  EXPECT_EQ(p4.title(), "Korvane RP 3 LX ZELTA");
  // Without a file, a saved size or a window manager to resize it, laid out once shown:
  // the control panel in the bottom strip (left at its design place, it stood 50 px above).
  EXPECT_TRUE(waitFor([&] {
    const QImage shot = p4.screenshot();
    return lit(shot.copy(0, shot.height() - 50, shot.width(), 50), 1);
  }, 5s));
  auto entries = fs::recursive_directory_iterator(install.runtime());
  EXPECT_EQ(std::count_if(begin(entries), end(entries), [](auto& e) { return e.is_socket(); }), 1);
}

TEST(Editions, TopEditionHandsOverByTheEmptyTitleAndFullScreenOnesHoldTheScreenSaverOffSideBySide) {
  ScratchInstall install{"KorvaneRP3LXVORNA", "KorvaneRP3LXKAMBO"};
  for (const char* flag : {"ScreenInfoSave", "ResumePlay", "NotMultiStart", "NotPlayInfoDisplay"})
    install.setFlag(flag, "1");
  auto showsClip = [](Program& player) {
    return player.waitForWindow() && waitFor([&] { return player.showsPicture(); }, 10s);
  };
  // Esc ends it cleanly, writing the clip to resume and, where its edition keeps one, its
  // width (-7: left as it was).
  auto escWrites = [&](Program& player, int width) {
    settings::writeProfileString("ResumeInfo", "FilePath", "", install.ini());
    settings::writeProfileString("Screen", "Width", "-7", install.ini());
    player.key("Escape");
    ASSERT_TRUE(player.waitForExit());
    EXPECT_EQ(player.exitCode(), 0);
    EXPECT_EQ(settings::profileString("ResumeInfo", "FilePath", "", install.ini()), "file://" + kH264.toStdString());
    EXPECT_EQ(settings::profileInt("Screen", "Width", 0, install.ini()), width);
  };
  // A stand-in screen-saver service on a private bus logs each change with the number of
  // inhibitions then active.
  SessionBus bus;
  ASSERT_FALSE(bus.address().isEmpty());
  install.setEnv("DBUS_SESSION_BUS_ADDRESS", bus.address());
  const QString log = QString::fromStdString((install.dir() / "screensaver.log").string());
  Program standin({KORVANE_BIN_DIR "/../tests/korvane_screensaver_standin", log}, install.environment());
  auto logText = [&] { return QString::fromStdString(fakes::slurp(log.toStdString())); };
  auto active = [&](int count) {
    return waitFor([&] { return logText().trimmed().section('\n', -1).endsWith(QString(" active %1").arg(count)); }, 5s);
  };
  ASSERT_TRUE(active(0)) << "the stand-in is on the bus";

  Program fullScreen(install, "KorvaneRP3LXKAMBO", {kH264});
  ASSERT_TRUE(showsClip(fullScreen));
  auto g = fullScreen.geometry();
  EXPECT_EQ(QString("%1 %2 %3 %4").arg(g.x).arg(g.y).arg(g.width).arg(g.height).toStdString(),
            "0 0 " + run("xdotool", {"getdisplaygeometry"}).value_or(""));
  EXPECT_TRUE(active(1)) << logText().toStdString();

  // The full-screen player, untitled too, is another program's window: left alone.
  Program first(install, "KorvaneRP3LXVORNA", {kH264});
  ASSERT_TRUE(showsClip(first));
  EXPECT_EQ(first.title(), "");
  g = first.geometry();
  EXPECT_EQ(std::pair(g.width, g.height), std::pair(453, 360));
  Program second(install, "KorvaneRP3LXVORNA", {kH264});
  ASSERT_TRUE(second.waitForWindow());
  EXPECT_TRUE(first.waitForExit());
  escWrites(second, 453);

  Program another(install, "KorvaneRP3LXKAMBO", {kH264});  // whatever NotMultiStart says
  ASSERT_TRUE(another.waitForWindow());
  EXPECT_TRUE(active(2)) << logText().toStdString();
  EXPECT_TRUE(fullScreen.running()) << "no hand-over";
  escWrites(fullScreen, -7);
  EXPECT_TRUE(logText().contains("uninhibit 1 ")) << logText().toStdString();
  EXPECT_TRUE(active(1)) << logText().toStdString();
}
