// SPDX-License-Identifier: MIT
// The real players on a private session bus, driven and watched the way a desktop does
// it: with playerctl, dbus-send and dbus-monitor. (URI decoding, track ids, the no-track
// metadata and which changes are signalled: the state's own tests.)
#include "settings/ProfileFile.h"
#include "tests/e2e/Desktop.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace korvane::e2e;

namespace {

const std::string kMedia = KORVANE_TEST_DATA_DIR "/media";

class MprisOnTheBus : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(bus.address().isEmpty());
    install.setEnv("DBUS_SESSION_BUS_ADDRESS", bus.address());
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());  // for the tools
  }

  // A player up with its window and its name on the bus.
  bool start(const char* program, const QStringList& args = {}) {
    player = std::make_unique<Program>(install, program, args);
    return player->waitForWindow() &&
           waitFor([&] { return tool("playerctl", {"-l"}).split('\n').contains(name()); }, 10s);
  }
  QString name() const { return "korvane_rp3.instance" + QString::number(player->pid()); }
  QString ctl(const QStringList& args) const { return tool("playerctl", QStringList{"-p", name()} + args); }
  bool becomes(const char* status, std::chrono::milliseconds timeout = 5s) const {
    return waitFor([&] { return ctl({"status"}) == status; }, timeout);
  }
  double seconds() const { return ctl({"position"}).toDouble(); }
  // A method called on the player's object; its reply, "" when refused.
  QString send(const QString& method, const QStringList& args = {}) const {
    return tool("dbus-send", QStringList{"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2." + name(),
                                         "/org/mpris/MediaPlayer2", method} + args);
  }

  SessionBus bus;
  ScratchInstall install{"KorvaneRP3LXZELTA", "KorvaneRP3LX", "KorvaneRP3LXVORNA", "KorvaneRP3LXKAMBO"};
  std::unique_ptr<Program> player;
};

TEST_F(MprisOnTheBus, EveryEditionIsListedWithItsTitleAndReadsTheTaggedClip) {
  const std::pair<const char*, const char*> editions[] = {
      {"KorvaneRP3LXZELTA", "Korvane RP 3 LX ZELTA"}, {"KorvaneRP3LX", "Korvane RP 3 LX"},
      {"KorvaneRP3LXVORNA", "Korvane RP 3 LX VORNA"}, {"KorvaneRP3LXKAMBO", "Korvane RP 3 LX KAMBO"}};
  const QString get = "org.freedesktop.DBus.Properties.Get", root = "string:org.mpris.MediaPlayer2";
  for (const auto& [program, title] : editions) {
    SCOPED_TRACE(program);
    ASSERT_TRUE(start(program, {QString::fromStdString(kMedia + "/tagged.mp3")}));
    EXPECT_TRUE(send(get, {root, "string:Identity"}).endsWith(QString("string \"%1\"").arg(title)));
    EXPECT_TRUE(send(get, {root, "string:DesktopEntry"}).endsWith(QString("string \"%1\"").arg(program)));
    EXPECT_TRUE(waitFor([&] { return ctl({"metadata", "title"}) == "Tagged Tone"; }, 10s));
    EXPECT_EQ(ctl({"metadata", "artist"}), "Tone Artist");
    EXPECT_NEAR(ctl({"metadata", "mpris:length"}).toLongLong(), 3'000'000, 200'000);
  }
}

TEST_F(MprisOnTheBus, OpenUriNextAndPreviousStepThroughTheFolder) {
  ASSERT_TRUE(start("KorvaneRP3LX"));
  auto at = [&](const char* clip) {
    return waitFor([&] { return ctl({"metadata", "xesam:url"}).endsWith(clip); }, 10s);
  };
  ctl({"open", QString::fromStdString("file://" + kMedia + "/folder/clip%202.mp3")});
  ASSERT_TRUE(at("/folder/clip%202.mp3"));
  ctl({"next"});
  EXPECT_TRUE(at("/folder/clip%2010.mp4"));
  ctl({"previous"});
  EXPECT_TRUE(at("/folder/clip%202.mp3"));
}

// Commands and keys on one run of a long clip, then Quit as a desktop's close does it.
TEST_F(MprisOnTheBus, CommandsAndKeysActOnTheEngineAndQuitWritesTheSettingsAsEscDoes) {
  install.setFlag("ResumePlay", "1");
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
  const QString clip = QString::fromStdString(longClip().string());
  ASSERT_TRUE(start("KorvaneRP3LX", {clip}));
  ASSERT_TRUE(becomes("Playing", 10s));

  // Keys change what desktops show, so they are told.
  player->key("space");
  EXPECT_TRUE(signalled("string \"Paused\""));
  player->key("f");
  EXPECT_TRUE(signalled("member=Seeked"));

  ctl({"position", "12"});  // paused: the position stands where it was put
  EXPECT_TRUE(waitFor([&] { return std::abs(seconds() - 12) < 0.3; }, 5s)) << seconds();
  ctl({"volume", "0.25"});
  EXPECT_TRUE(waitFor([&] { return ctl({"volume"}).toDouble() == 0.25; }, 5s));
  ctl({"play-pause"});
  EXPECT_TRUE(becomes("Playing"));
  ctl({"stop"});
  EXPECT_TRUE(becomes("Stopped"));
  EXPECT_EQ(seconds(), 0);
  ctl({"play"});
  ASSERT_TRUE(waitFor([&] { return seconds() > 1; }, 10s));

  EXPECT_FALSE(send("org.mpris.MediaPlayer2.Quit").isEmpty());  // answered before the program ends
  ASSERT_TRUE(player->waitForExit());
  EXPECT_EQ(player->exitCode(), 0);
  EXPECT_EQ(korvane::settings::profileString("ResumeInfo", "FilePath", "", install.ini()),
            "file://" + clip.toStdString());
  EXPECT_GE(korvane::settings::profileInt("ResumeInfo", "Position", 0, install.ini()), 1000);
}

}  // namespace
