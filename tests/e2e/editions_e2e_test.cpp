// SPDX-License-Identifier: MIT
// The top and full-screen editions: the hand-over by the empty title, the screen saver
// held off side by side, and what Esc writes.
#include "settings/ProfileFile.h"
#include "tests/e2e/Desktop.h"
#include "tests/fakes/Files.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace korvane;
using namespace korvane::e2e;

namespace {

const QString kClip = KORVANE_TEST_DATA_DIR "/media/h264.mp4";

}  // namespace

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
    EXPECT_EQ(settings::profileString("ResumeInfo", "FilePath", "", install.ini()), "file://" + kClip.toStdString());
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

  Program fullScreen(install, "KorvaneRP3LXKAMBO", {kClip});
  ASSERT_TRUE(showsClip(fullScreen));
  auto g = fullScreen.geometry();
  EXPECT_EQ(QString("%1 %2 %3 %4").arg(g.x).arg(g.y).arg(g.width).arg(g.height).toStdString(),
            "0 0 " + run("xdotool", {"getdisplaygeometry"}).value_or(""));
  EXPECT_TRUE(active(1)) << logText().toStdString();

  // The full-screen player, untitled too, is another program's window: left alone.
  Program first(install, "KorvaneRP3LXVORNA", {kClip});
  ASSERT_TRUE(showsClip(first));
  EXPECT_EQ(first.title(), "");
  g = first.geometry();
  EXPECT_EQ(std::pair(g.width, g.height), std::pair(453, 360));
  Program second(install, "KorvaneRP3LXVORNA", {kClip});
  ASSERT_TRUE(second.waitForWindow());
  EXPECT_TRUE(first.waitForExit());
  escWrites(second, 453);

  Program another(install, "KorvaneRP3LXKAMBO", {kClip});  // whatever NotMultiStart says
  ASSERT_TRUE(another.waitForWindow());
  EXPECT_TRUE(active(2)) << logText().toStdString();
  EXPECT_TRUE(fullScreen.running()) << "no hand-over";
  escWrites(fullScreen, -7);
  EXPECT_TRUE(logText().contains("uninhibit 1 ")) << logText().toStdString();
  EXPECT_TRUE(active(1)) << logText().toStdString();
  another.signal(SIGKILL);
  ASSERT_TRUE(another.waitForExit());
  EXPECT_TRUE(active(0)) << "released as the killed player left the bus: " << logText().toStdString();
}
