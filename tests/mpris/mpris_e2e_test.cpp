// SPDX-License-Identifier: MIT
// The real players on a private session bus, driven and watched the way a desktop does
// it: with playerctl, dbus-send and dbus-monitor.
#include "settings/ProfileFile.h"
#include "tests/e2e/Desktop.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

using namespace korvane::e2e;

namespace {

const std::string kMedia = KORVANE_TEST_DATA_DIR "/media";
const QString kTagged = QString::fromStdString(kMedia + "/tagged.mp3");

class MprisOnTheBus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display";
    ASSERT_FALSE(bus.address().isEmpty());
    install.setEnv("DBUS_SESSION_BUS_ADDRESS", bus.address());
  }

  // A player up with its window and its name on the bus. A start the toolkit aborts
  // before any window shows (its display connection refused, now and then on a busy
  // machine, with or without a bus) is tried once more, and said so.
  std::unique_ptr<Program> start(const char* program, const QStringList& args = {}) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      auto p = std::make_unique<Program>(install, program, args);
      if (p->waitForWindow()) {
        if (published(*p)) return p;
        ADD_FAILURE() << program << " is not on the bus";
        return nullptr;
      }
      if (p->running()) break;
      std::fprintf(stderr, "%s ended with %d before its window showed; starting it again\n", program, p->exitCode());
    }
    ADD_FAILURE() << program << " did not start";
    return nullptr;
  }

  static QString name(const Program& p) { return "korvane_rp3.instance" + QString::number(p.pid()); }

  // A desktop tool run against the private bus; its output trimmed, "" when it fails.
  QString tool(const QString& program, const QStringList& args) const {
    QProcess p;
    p.setEnvironment(install.environment());
    p.start(program, args);
    if (!p.waitForFinished(10000) || p.exitCode() != 0) {
      p.kill();
      p.waitForFinished(1000);
      return QString();
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
  }
  QString ctl(const Program& p, QStringList args) const {
    return tool("playerctl", QStringList{"-p", name(p)} + args);
  }
  QString property(const Program& p, const char* interface, const char* prop) const {
    return tool("dbus-send", {"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2." + name(p),
                              "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties.Get",
                              QString("string:") + interface, QString("string:") + prop});
  }
  bool published(const Program& p) const {
    return waitFor([&] { return tool("playerctl", {"-l"}).split('\n').contains(name(p)); }, 10s);
  }
  double seconds(const Program& p) const { return ctl(p, {"position"}).toDouble(); }

  SessionBus bus;
  ScratchInstall install{"KorvaneRP3LXZELTA", "KorvaneRP3LX", "KorvaneRP3LXVORNA", "KorvaneRP3LXKAMBO"};
};

TEST_F(MprisOnTheBus, EveryEditionIsListedWithItsTitleAndReadsTheTaggedClip) {
  const std::pair<const char*, const char*> editions[] = {
      {"KorvaneRP3LXZELTA", "Korvane RP 3 LX ZELTA"},
      {"KorvaneRP3LX", "Korvane RP 3 LX"},
      {"KorvaneRP3LXVORNA", "Korvane RP 3 LX VORNA"},
      {"KorvaneRP3LXKAMBO", "Korvane RP 3 LX KAMBO"},
  };
  for (const auto& [program, title] : editions) {
    SCOPED_TRACE(program);
    const auto started = start(program, {kTagged});
    ASSERT_TRUE(started);
    Program& player = *started;
    EXPECT_TRUE(property(player, "org.mpris.MediaPlayer2", "Identity").endsWith(QString("string \"%1\"").arg(title)));
    EXPECT_TRUE(property(player, "org.mpris.MediaPlayer2", "DesktopEntry").endsWith(QString("string \"%1\"").arg(program)));
    EXPECT_TRUE(waitFor([&] { return ctl(player, {"metadata", "title"}) == "Tagged Tone"; }, 10s));
    EXPECT_EQ(ctl(player, {"metadata", "artist"}), "Tone Artist");
    const qlonglong length = ctl(player, {"metadata", "mpris:length"}).toLongLong();
    EXPECT_NEAR(length, 3'000'000, 200'000);
    EXPECT_EQ(ctl(player, {"metadata", "xesam:url"}), "file://" + kTagged);
    player.key("Escape");
    EXPECT_TRUE(player.waitForExit());
  }
}

TEST_F(MprisOnTheBus, PlayPauseStopPositionAndVolumeActOnTheEngine) {
  const auto started = start("KorvaneRP3LX", {QString::fromStdString(longClip().string())});
  ASSERT_TRUE(started);
  Program& player = *started;
  ASSERT_TRUE(waitFor([&] { return ctl(player, {"status"}) == "Playing"; }, 10s));

  ctl(player, {"play-pause"});
  EXPECT_TRUE(waitFor([&] { return ctl(player, {"status"}) == "Paused"; }, 5s));
  const double pausedAt = seconds(player);
  std::this_thread::sleep_for(700ms);
  EXPECT_DOUBLE_EQ(seconds(player), pausedAt);
  ctl(player, {"play-pause"});
  EXPECT_TRUE(waitFor([&] { return ctl(player, {"status"}) == "Playing"; }, 5s));
  EXPECT_TRUE(waitFor([&] { return seconds(player) > pausedAt + 0.3; }, 5s));

  ctl(player, {"pause"});
  ASSERT_TRUE(waitFor([&] { return ctl(player, {"status"}) == "Paused"; }, 5s));
  ctl(player, {"position", "12"});
  EXPECT_TRUE(waitFor([&] { return std::abs(seconds(player) - 12) < 0.3; }, 5s)) << seconds(player);
  ctl(player, {"position", "2-"});
  EXPECT_TRUE(waitFor([&] { return std::abs(seconds(player) - 10) < 0.3; }, 5s)) << seconds(player);

  ctl(player, {"volume", "0.25"});
  EXPECT_TRUE(waitFor([&] { return ctl(player, {"volume"}).toDouble() == 0.25; }, 5s));
  // The keys see the same level: "[" adds ten.
  player.key("bracketleft");
  EXPECT_TRUE(waitFor([&] { return ctl(player, {"volume"}).toDouble() == 0.35; }, 5s));

  ctl(player, {"play"});
  EXPECT_TRUE(waitFor([&] { return ctl(player, {"status"}) == "Playing"; }, 5s));
  ctl(player, {"stop"});
  EXPECT_TRUE(waitFor([&] { return ctl(player, {"status"}) == "Stopped"; }, 5s));
  EXPECT_EQ(seconds(player), 0);
}

TEST_F(MprisOnTheBus, OpenUriNextAndPreviousStepThroughTheFolder) {
  const auto started = start("KorvaneRP3LX");
  ASSERT_TRUE(started);
  Program& player = *started;
  EXPECT_TRUE(property(player, "org.mpris.MediaPlayer2.Player", "Metadata").contains("/TrackList/NoTrack"));

  const std::string folder = kMedia + "/folder";
  auto clipUrl = [&] { return ctl(player, {"metadata", "xesam:url"}); };
  ctl(player, {"open", QString::fromStdString("file://" + folder + "/clip%202.mp3")});
  ASSERT_TRUE(waitFor([&] { return clipUrl().endsWith("/folder/clip%202.mp3"); }, 10s)) << clipUrl().toStdString();
  EXPECT_TRUE(waitFor([&] { return ctl(player, {"status"}) == "Playing"; }, 10s));
  const QString firstTrack = ctl(player, {"metadata", "mpris:trackid"});

  ctl(player, {"next"});
  EXPECT_TRUE(waitFor([&] { return clipUrl().endsWith("/folder/clip%2010.mp4"); }, 10s)) << clipUrl().toStdString();
  EXPECT_NE(ctl(player, {"metadata", "mpris:trackid"}), firstTrack);
  ctl(player, {"previous"});
  EXPECT_TRUE(waitFor([&] { return clipUrl().endsWith("/folder/clip%202.mp3"); }, 10s)) << clipUrl().toStdString();
  ctl(player, {"previous"});
  EXPECT_TRUE(waitFor([&] { return clipUrl().endsWith("/folder/clip%201.wav"); }, 10s)) << clipUrl().toStdString();

  // Only local files: anything else is refused and changes nothing.
  EXPECT_TRUE(tool("dbus-send", {"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2." + name(player),
                                 "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Player.OpenUri",
                                 "string:http://example.org/a.mp3"})
                  .isEmpty());
  EXPECT_TRUE(clipUrl().endsWith("/folder/clip%201.wav"));
}

TEST_F(MprisOnTheBus, KeyPressesReachDesktopsAsSignals) {
  QProcess monitor;
  monitor.setEnvironment(install.environment());
  monitor.start("dbus-monitor", {"--session", "type='signal',path='/org/mpris/MediaPlayer2'"});
  ASSERT_TRUE(monitor.waitForStarted());
  QByteArray seen;
  auto saw = [&](const char* text) {
    return waitFor([&] {
      monitor.waitForReadyRead(50);
      seen += monitor.readAllStandardOutput();
      return seen.contains(text);
    }, 5s);
  };

  const auto started = start("KorvaneRP3LX", {QString::fromStdString(longClip().string())});
  ASSERT_TRUE(started);
  Program& player = *started;
  ASSERT_TRUE(waitFor([&] { return ctl(player, {"status"}) == "Playing"; }, 10s));
  player.key("space");
  EXPECT_TRUE(saw("string \"Paused\""));
  player.key("l");  // loop on, and play
  EXPECT_TRUE(saw("string \"Track\""));
  EXPECT_TRUE(saw("string \"Playing\""));
  player.key("f");
  EXPECT_TRUE(saw("member=Seeked"));
  monitor.kill();
  monitor.waitForFinished();
}

TEST_F(MprisOnTheBus, QuitWritesTheSettingsAsEscDoes) {
  install.setFlag("ResumePlay", "1");
  const QString clip = QString::fromStdString(longClip().string());
  const auto started = start("KorvaneRP3LX", {clip});
  ASSERT_TRUE(started);
  Program& player = *started;
  ASSERT_TRUE(waitFor([&] { return seconds(player) > 1; }, 10s));
  EXPECT_FALSE(tool("dbus-send", {"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2." + name(player),
                                  "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Quit"})
                   .isEmpty());  // answered before the program ends
  ASSERT_TRUE(player.waitForExit());
  EXPECT_EQ(player.exitCode(), 0);
  EXPECT_EQ(korvane::settings::profileString("ResumeInfo", "FilePath", "", install.ini()),
            "file://" + clip.toStdString());
  EXPECT_GE(korvane::settings::profileInt("ResumeInfo", "Position", 0, install.ini()), 1000);
}

}  // namespace
