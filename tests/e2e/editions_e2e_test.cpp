// SPDX-License-Identifier: MIT
// The four player programs on the test display: each starts on a clip and shows it,
// Esc ends each with the settings its edition writes, two full-screen players run side
// by side, and the full-screen player holds the screen saver off through the session bus.
#include "settings/ProfileFile.h"
#include "tests/e2e/Desktop.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

using namespace korvane;
using namespace korvane::e2e;

namespace {

const QString kClip = KORVANE_TEST_DATA_DIR "/media/h264.mp4";

class Editions : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display";
    install.useEnvironmentHere();
    for (const char* flag : {"ScreenInfoSave", "ResumePlay", "NotMultiStart"}) install.setFlag(flag, "1");
  }
  ScratchInstall install{"KorvaneRP3LXZELTA", "KorvaneRP3LX", "KorvaneRP3LXVORNA", "KorvaneRP3LXKAMBO"};
};

}  // namespace

TEST_F(Editions, EachStartsOnAClipAndEscWritesWhatItsEditionKeeps) {
  struct Case {
    const char* program;
    bool writesGeometry;
    int width, height;  // outer size in pixels at start
  } cases[] = {{"KorvaneRP3LXZELTA", true, 480, 411},
               {"KorvaneRP3LX", true, 480, 411},
               {"KorvaneRP3LXVORNA", true, 453, 360},
               {"KorvaneRP3LXKAMBO", false, 0, 0}};
  const auto screen = run("xdotool", {"getdisplaygeometry"}).value_or("0 0");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    fs::remove(install.ini());
    for (const char* flag : {"ScreenInfoSave", "ResumePlay"}) install.setFlag(flag, "1");
    Program player(install, c.program, {kClip});
    ASSERT_TRUE(player.waitForWindow());
    EXPECT_TRUE(waitFor([&] { return player.showsPicture(); }, 10s));
    auto g = player.geometry();
    if (c.width)
      EXPECT_EQ(std::pair(g.width, g.height), std::pair(c.width, c.height));
    else  // full screen
      EXPECT_EQ(std::to_string(g.x) + std::to_string(g.y) + " " + std::to_string(g.width) + " " +
                    std::to_string(g.height), "00 " + screen);
    player.key("Escape");
    ASSERT_TRUE(player.waitForExit());
    EXPECT_EQ(settings::profileString("ResumeInfo", "FilePath", "", install.ini()), "file://" + kClip.toStdString());
    EXPECT_EQ(settings::profileInt("Screen", "Width", -1, install.ini()), c.writesGeometry ? c.width : -1);
  }
}

TEST_F(Editions, TheTopEditionHandsOverByTheEmptyTitle) {
  install.setFlag("NotPlayInfoDisplay", "1");
  Program first(install, "KorvaneRP3LXVORNA", {kClip});
  ASSERT_TRUE(first.waitForWindow());
  EXPECT_EQ(first.title(), "");
  Program second(install, "KorvaneRP3LXVORNA", {kClip});
  ASSERT_TRUE(second.waitForWindow());
  EXPECT_TRUE(first.waitForExit(5s));
  EXPECT_EQ(second.title(), "");
}

// Also: two full-screen players run side by side whatever NotMultiStart says.
TEST_F(Editions, FullScreenInhibitsTheScreenSaverOnTheSessionBus) {
  SessionBus bus;
  ASSERT_FALSE(bus.address().isEmpty());
  install.setEnv("DBUS_SESSION_BUS_ADDRESS", bus.address());
  const QString log = QString::fromStdString((install.dir() / "screensaver.log").string());
  QProcess standin;
  standin.setEnvironment(install.environment());
  standin.start(KORVANE_BIN_DIR "/../tests/korvane_screensaver_standin", {log});
  ASSERT_TRUE(standin.waitForStarted());
  auto logText = [&] {
    QFile f(log);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  };
  auto lastActive = [&] {
    const QStringList lines = logText().split('\n', Qt::SkipEmptyParts);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
      if (it->startsWith("active ")) return it->mid(7).toInt();
    return -1;
  };
  ASSERT_TRUE(waitFor([&] { return QFile::exists(log); }, 5s));

  {
    Program player(install, "KorvaneRP3LXKAMBO", {kClip});
    ASSERT_TRUE(player.waitForWindow());
    EXPECT_TRUE(waitFor([&] { return lastActive() == 1; }, 5s)) << logText().toStdString();
    player.key("Escape");
    ASSERT_TRUE(player.waitForExit());
    EXPECT_EQ(lastActive(), 0) << logText().toStdString();
    EXPECT_TRUE(logText().contains("uninhibit 1"));
  }
  {
    Program first(install, "KorvaneRP3LXKAMBO", {kClip}), second(install, "KorvaneRP3LXKAMBO", {kClip});
    ASSERT_TRUE(first.waitForWindow() && second.waitForWindow());
    EXPECT_TRUE(waitFor([&] { return lastActive() == 2; }, 5s)) << logText().toStdString();
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(first.running() && second.running());
    for (Program* p : {&first, &second}) {
      p->signal(SIGKILL);
      ASSERT_TRUE(p->waitForExit());
    }
    EXPECT_TRUE(waitFor([&] { return lastActive() == 0; }, 5s)) << logText().toStdString();
    EXPECT_TRUE(logText().contains("gone 2"));
  }
  standin.kill();
  standin.waitForFinished();
}
