// SPDX-License-Identifier: MIT
// The editions whose window differs from the entry player's, on the test display: the top
// edition, untitled, hands over by the empty title; two full-screen players run side by
// side, each holding the screen saver off through the session bus until it ends. Each
// starts on a clip and shows it, and Esc ends it with the settings its edition writes.
// (All four started through their links, shown and ended with Esc: the installed programs'
// test.)
#include "settings/ProfileFile.h"
#include "tests/e2e/Desktop.h"

#include <QFile>

#include <gtest/gtest.h>

#include <csignal>

using namespace korvane;
using namespace korvane::e2e;

namespace {

const QString kClip = KORVANE_TEST_DATA_DIR "/media/h264.mp4";

class Editions : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* flag : {"ScreenInfoSave", "ResumePlay", "NotMultiStart", "NotPlayInfoDisplay"})
      install.setFlag(flag, "1");
  }
  static bool showsClip(Program& player) {
    return player.waitForWindow() && waitFor([&] { return player.showsPicture(); }, 10s);
  }
  // Esc ends it cleanly, writing the clip to resume and, when its edition keeps one, its width.
  void escWrites(Program& player, int width) const {
    settings::writeProfileString("ResumeInfo", "FilePath", "", install.ini());
    player.key("Escape");
    ASSERT_TRUE(player.waitForExit());
    EXPECT_EQ(player.exitCode(), 0);
    EXPECT_EQ(settings::profileString("ResumeInfo", "FilePath", "", install.ini()), "file://" + kClip.toStdString());
    EXPECT_EQ(settings::profileInt("Screen", "Width", -1, install.ini()), width);
  }
  ScratchInstall install{"KorvaneRP3LXVORNA", "KorvaneRP3LXKAMBO"};
};

}  // namespace

// An older full-screen player, untitled too, is another program's window: left alone.
TEST_F(Editions, TopEditionIsUntitledHandsOverByTheEmptyTitleAndWritesAtEsc) {
  Program fullScreen(install, "KorvaneRP3LXKAMBO", {kClip});
  ASSERT_TRUE(fullScreen.waitForWindow());
  Program first(install, "KorvaneRP3LXVORNA", {kClip});
  ASSERT_TRUE(showsClip(first));
  EXPECT_EQ(first.title(), "");
  auto g = first.geometry();
  EXPECT_EQ(std::pair(g.width, g.height), std::pair(453, 360));
  Program second(install, "KorvaneRP3LXVORNA", {kClip});
  ASSERT_TRUE(second.waitForWindow());
  EXPECT_TRUE(first.waitForExit());
  EXPECT_TRUE(fullScreen.running());
  escWrites(second, 453);
}

// Two side by side whatever NotMultiStart says; a stand-in screen-saver service on a
// private bus logs each change with the number of inhibitions then active.
TEST_F(Editions, FullScreenCoversTheScreenAndInhibitsTheScreenSaverUntilItEnds) {
  SessionBus bus;
  ASSERT_FALSE(bus.address().isEmpty());
  install.setEnv("DBUS_SESSION_BUS_ADDRESS", bus.address());
  const QString log = QString::fromStdString((install.dir() / "screensaver.log").string());
  Program standin({KORVANE_BIN_DIR "/../tests/korvane_screensaver_standin", log}, install.environment());
  auto logText = [&] {
    QFile f(log);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  };
  auto active = [&](int count) {
    return waitFor([&] { return logText().trimmed().section('\n', -1).endsWith(QString(" active %1").arg(count)); }, 5s);
  };
  ASSERT_TRUE(active(0)) << "the stand-in is on the bus";

  Program first(install, "KorvaneRP3LXKAMBO", {kClip});
  ASSERT_TRUE(showsClip(first));
  auto g = first.geometry();
  EXPECT_EQ(QString("%1 %2 %3 %4").arg(g.x).arg(g.y).arg(g.width).arg(g.height).toStdString(),
            "0 0 " + run("xdotool", {"getdisplaygeometry"}).value_or(""));
  EXPECT_TRUE(active(1)) << logText().toStdString();
  Program second(install, "KorvaneRP3LXKAMBO", {kClip});
  ASSERT_TRUE(second.waitForWindow());
  EXPECT_TRUE(active(2)) << logText().toStdString();
  EXPECT_TRUE(first.running()) << "no hand-over";

  escWrites(first, -1);
  EXPECT_TRUE(logText().contains("uninhibit 1 ")) << logText().toStdString();
  EXPECT_TRUE(active(1)) << logText().toStdString();
  second.signal(SIGKILL);
  ASSERT_TRUE(second.waitForExit());
  EXPECT_TRUE(active(0)) << "released as the killed player left the bus: " << logText().toStdString();
}
