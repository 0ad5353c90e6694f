// SPDX-License-Identifier: MIT
// The real player on a private session bus, driven and watched as a desktop does it
// (playerctl, dbus-send, dbus-monitor).
#include "settings/ProfileFile.h"
#include "tests/e2e/Desktop.h"


#include <gtest/gtest.h>

#include <cmath>

using namespace korvane::e2e;

// One run from the tagged clip: what desktops read of it, then the long clip's commands
// and keys, a folder's steps, and Quit, which writes the settings as Esc does.
TEST(MprisOnTheBus, ReadsTheClipAndCommandsKeysFolderStepsAndQuitActOnThePlayer) {
  const std::string media = KORVANE_TEST_DATA_DIR "/media";
  SessionBus bus;
  ASSERT_FALSE(bus.address().isEmpty());
  ScratchInstall install{"KorvaneRP3LX"};
  install.setEnv("DBUS_SESSION_BUS_ADDRESS", bus.address());
  install.setFlag("ResumePlay", "1");
  qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());  // for the tools
  QProcess monitor;  // what desktops hear
  monitor.start("dbus-monitor", {"--session", "type='signal',path='/org/mpris/MediaPlayer2'"});
  ASSERT_TRUE(monitor.waitForStarted());
  QByteArray heard;
  auto signalled = [&](const char* text) {
    return waitFor([&] {
      monitor.waitForReadyRead(50);
      heard += monitor.readAllStandardOutput();
      return heard.contains(text);
    }, 5s);
  };

  Program player(install, "KorvaneRP3LX", {QString::fromStdString(media + "/tagged.mp3")});
  const QString name = "korvane_rp3.instance" + QString::number(player.pid());
  auto ctl = [&](const QStringList& args) { return tool("playerctl", QStringList{"-p", name} + args); };
  auto seconds = [&] { return ctl({"position"}).toDouble(); };
  auto at = [&](const QString& url) { return waitFor([&] { return ctl({"metadata", "xesam:url"}).endsWith(url); }, 10s); };
  ASSERT_TRUE(player.waitForWindow());
  ASSERT_TRUE(waitFor([&] { return tool("playerctl", {"-l"}).split('\n').contains(name); }, 10s));
  EXPECT_TRUE(waitFor([&] { return ctl({"metadata", "title"}) == "Tagged Tone"; }, 10s));
  EXPECT_EQ(ctl({"metadata", "artist"}), "Tone Artist");
  EXPECT_NEAR(ctl({"metadata", "mpris:length"}).toLongLong(), 3'000'000, 200'000);

  const QString clip = QString::fromStdString(longClip().string());
  ctl({"open", "file://" + clip});
  ASSERT_TRUE(at(clip));
  ASSERT_TRUE(waitFor([&] { return ctl({"status"}) == "Playing"; }, 10s));
  // Keys change what desktops show, so they are told.
  player.key("space");
  EXPECT_TRUE(signalled("string \"Paused\""));
  player.key("f");
  EXPECT_TRUE(signalled("member=Seeked"));
  ctl({"position", "12"});  // paused: the position stands where it was put
  EXPECT_TRUE(waitFor([&] { return std::abs(seconds() - 12) < 0.3; }, 5s)) << seconds();

  ctl({"open", QString::fromStdString("file://" + media + "/folder/clip%202.mp3")});
  ASSERT_TRUE(at("/folder/clip%202.mp3"));
  ctl({"next"});
  EXPECT_TRUE(at("/folder/clip%2010.mp4"));
  ctl({"open", "file://" + clip});
  ASSERT_TRUE(waitFor([&] { return at(clip) && seconds() > 1; }, 10s));  // a position for Quit to write

  const QString quit = tool("dbus-send", {"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2." + name,
                                          "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Quit"});
  EXPECT_FALSE(quit.isEmpty()) << "answered before the program ends";
  ASSERT_TRUE(player.waitForExit());
  EXPECT_EQ(player.exitCode(), 0);
  EXPECT_EQ(korvane::settings::profileString("ResumeInfo", "FilePath", "", install.ini()),
            "file://" + clip.toStdString());
  EXPECT_GE(korvane::settings::profileInt("ResumeInfo", "Position", 0, install.ini()), 1000);
}
