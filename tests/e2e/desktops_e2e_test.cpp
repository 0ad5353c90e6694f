// SPDX-License-Identifier: MIT
// The players under a real Wayland compositor (Weston nested on the test's X server),
// natively and through XWayland, and on a screen at twice the scale.
#include "settings/ProfileFile.h"
#include "settings/SettingsKeys.h"
#include "tests/e2e/Desktop.h"
#include "tests/fakes/Files.h"

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <memory>

using namespace korvane::e2e;
namespace keys = korvane::settings;

namespace {

// Colours no clip frame or toolkit paints, so the desktop is told from the windows.
constexpr QRgb kBackground = 0xff123456, kPanel = 0xff654321;
constexpr int kOutputWidth = 800, kOutputHeight = 600;

// Weston with its desktop shell as the X server's one window, on a socket of its own.
class Weston {
 public:
  explicit Weston(bool xwayland) : dir_(fs::temp_directory_path() / ("korvane-weston-" + std::to_string(::getpid()))) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::permissions(dir_, fs::perms::owner_all);
    korvane::fakes::spit(dir_ / "weston.ini", "[core]\nidle-time=0\n[shell]\nbackground-color=0xff123456\n"
                         "panel-color=0xff654321\npanel-position=top\nlocking=false\nanimation=none\n"
                         "startup-animation=none\n");  // kBackground, kPanel
    QStringList args{"--backend=x11-backend.so", "--use-pixman", "--socket=wayland-korvane",
                     QString("--width=%1").arg(kOutputWidth), QString("--height=%1").arg(kOutputHeight),
                     "--config=" + path("weston.ini"), "--log=" + path("weston.log")};
    if (xwayland) args << "--xwayland";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir_.string()));
    process_.setProcessEnvironment(env);
    process_.setStandardOutputFile(QProcess::nullDevice());
    korvane::testing::startHelper(process_, "weston", args, 0ms);
    // Ready once the shell has drawn its background and panel over the whole output.
    ready_ = waitFor([&] {
      return fs::exists(dir_ / "wayland-korvane") && !outputWindow().isEmpty() &&
             desktopPixels() > kOutputWidth * kOutputHeight / 4 * 9 / 10;
    }, 20s);
    // XWayland names its display in the log once it listens.
    if (ready_ && xwayland) {
      ready_ = waitFor([&] {
        const auto m = QRegularExpression("xserver listening on display (:\\d+)").match(log());
        if (m.hasMatch()) xDisplay_ = m.captured(1);
        return m.hasMatch();
      }, 20s);
    }
  }
  ~Weston() {
    korvane::testing::stopHelper(process_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  bool ready() const { return ready_; }
  QString socket() const { return path("wayland-korvane"); }
  const QString& xDisplay() const { return xDisplay_; }
  QString log() const { return tool("tail", {"-n", "30", path("weston.log")}); }

  // The compositor's window takes the X keyboard. Done before its first client maps: on
  // getting the X focus, Weston gives the keys back to the window that had them before it
  // lost it, and a client mapped in between never got them.
  void focus() const { run("xdotool", {"windowfocus", "--sync", outputWindow()}, 3s); }
  // Pixels of the desktop itself (background, panel) and of a clip's saturated colours.
  int desktopPixels() const { return count([](QRgb c) { return near(c, kBackground) || near(c, kPanel); }); }
  bool showsPicture() const {
    return count([](QRgb c) {
             const int hi = std::max({qRed(c), qGreen(c), qBlue(c)}), lo = std::min({qRed(c), qGreen(c), qBlue(c)});
             return hi - lo > 150;
           }) > 500;
  }
  // Real key presses (XTEST) into the compositor, which hands them to its focused window.
  void key(const char* keys) const { keysTo(outputWindow(), keys); }
  // A press of the first button high on the output, on the picture wherever it is full screen.
  void click() const {
    run("xdotool", {"mousemove", "--window", outputWindow(), QString::number(kOutputWidth / 2),
                    QString::number(kOutputHeight / 6), "click", "1"}, 3s);
  }

 private:
  QString path(const char* name) const { return QString::fromStdString((dir_ / name).string()); }
  QString outputWindow() const {
    const auto m = QRegularExpression("(0x[0-9a-f]+) \"Weston Compositor").match(tool("xwininfo", {"-root", "-children"}));
    return m.hasMatch() ? m.captured(1) : QString();
  }
  static bool near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) < 4 && std::abs(qGreen(a) - qGreen(b)) < 4 && std::abs(qBlue(a) - qBlue(b)) < 4;
  }
  int count(const std::function<bool(QRgb)>& what) const {
    const QImage shot = screenshotOf(outputWindow());  // the output as the compositor shows it
    int n = 0;
    for (int y = 0; y < shot.height(); y += 2)
      for (int x = 0; x < shot.width(); x += 2) n += what(shot.pixel(x, y));
    return n;
  }

  fs::path dir_;
  QProcess process_;
  bool ready_ = false;
  QString xDisplay_;
};

struct Edition {
  const char* program;
  bool remembersGeometry, fullScreen;
};
constexpr Edition kEditions[] = {{"KorvaneRP3LXZELTA", true, false}, {"KorvaneRP3LX", true, false},
                                 {"KorvaneRP3LXVORNA", true, false}, {"KorvaneRP3LXKAMBO", false, true}};

// Remembered geometry the players start with: sizes in pixels, positions in twips.
constexpr int kWidth = 460, kHeight = 380, kTop = 2250, kLeft = 3000;

std::string screenValue(const ScratchInstall& install, const char* key) {
  return korvane::settings::profileString(keys::kScreenSection, key, "", install.ini());
}

// The session a Wayland desktop gives its programs: the compositor's socket, a bus, and
// an X display only where XWayland runs (the players then choose it).
class UnderWeston : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(weston.ready()) << weston.log().toStdString();
    weston.focus();
    ASSERT_FALSE(bus.address().isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());  // for playerctl
  }
  void enterSession(ScratchInstall& install) const {
    install.setEnv("WAYLAND_DISPLAY", weston.socket());
    install.setEnv("DBUS_SESSION_BUS_ADDRESS", bus.address());
    install.unsetEnv("QT_QPA_PLATFORM");  // the programs' own choice
    if (GetParam())
      install.setEnv("DISPLAY", weston.xDisplay());
    else
      install.unsetEnv("DISPLAY");
  }
  // playerctl on one player.
  static QString ctl(const Program& player, const QStringList& args) {
    return tool("playerctl", QStringList{"-p", "korvane_rp3.instance" + QString::number(player.pid())} + args);
  }

  Weston weston{GetParam()};
  SessionBus bus;
};

// Each edition as a user meets it: the clip's picture shows, Shift+[ and Shift+. act as [
// and ., S puts the picture over the whole output and back (the full-screen edition covers
// it from the start, holding the screen saver off through the portal until it ends), and
// Esc saves the size it was given and the resume point. The settings tool shows its window
// too (natively: without an X display).
TEST_P(UnderWeston, EachPlayerShowsTheClipTakesShiftedKeysAndSavesSizeAndResumePointAndTheToolShows) {
  const std::string clip = longClip().string();
  for (const Edition& e : kEditions) {
    SCOPED_TRACE(e.program);
    ScratchInstall install{e.program};
    enterSession(install);
    install.setFlag("ResumePlay", "1");
    if (e.remembersGeometry) {
      install.setFlag("ScreenInfoSave", "1");
      for (auto [key, value] : {std::pair{"Width", kWidth}, {"Height", kHeight}, {"Top", kTop}, {"Left", kLeft}})
        korvane::settings::writeProfileString(keys::kScreenSection, key, std::to_string(value), install.ini());
    }
    // Wayland sessions hold the screen saver off through the desktop portal.
    const fs::path inhibitions = install.dir() / "inhibitions.log";
    auto read = [&] { return QString::fromStdString(korvane::fakes::slurp(inhibitions)); };
    std::unique_ptr<Program> portal;
    if (e.fullScreen) {
      portal = std::make_unique<Program>(
          QStringList{KORVANE_BIN_DIR "/../tests/korvane_screensaver_standin", QString::fromStdString(inhibitions), "portal"},
          install.environment());
      ASSERT_TRUE(waitFor([&] { return read().startsWith("ready active 0"); }, 10s));
    }
    Program player(install, e.program, {QString::fromStdString(clip)});
    ASSERT_TRUE(waitFor([&] { return ctl(player, {"status"}) == "Playing"; }, 20s)) << "not playing";
    // Software OpenGL on a busy machine: the first picture can take a while.
    EXPECT_TRUE(waitFor([&] { return weston.showsPicture(); }, 30s)) << "no picture on the output";
    if (e.fullScreen) {
      EXPECT_TRUE(waitFor([&] { return weston.desktopPixels() == 0; }, 10s)) << "the desktop shows beside the picture";
      EXPECT_TRUE(read().contains("inhibit 1 active 1")) << read().toStdString();
    }

    // The compositor gives a new window the keys when it has mapped it, which the test
    // cannot see: Shift+. until it acts. Stop, unlike Space, stays stopped when pressed
    // again, so a slow reading of the status cannot undo it.
    ASSERT_TRUE(waitFor([&] {
      weston.key("shift+period");
      return waitFor([&] { return ctl(player, {"status"}) == "Stopped"; }, 2s);
    }, 20s)) << "the window never got the keys (Shift+. is .: stop)";
    weston.key("space");
    EXPECT_TRUE(waitFor([&] { return ctl(player, {"status"}) == "Playing"; }, 5s)) << "Space plays again";
    ctl(player, {"volume", "0.5"});
    ASSERT_TRUE(waitFor([&] { return ctl(player, {"volume"}).toDouble() == 0.5; }, 5s));
    weston.key("shift+bracketleft");
    EXPECT_TRUE(waitFor([&] { return std::abs(ctl(player, {"volume"}).toDouble() - 0.6) < 0.001; }, 5s))
        << "Shift+[ is [: level + 10";
    // S puts the picture over the output (the full-screen edition's is there already), a
    // press on it pauses, and S again gives the window back its size: the size saved below.
    if (!e.fullScreen) {
      weston.key("s");
      EXPECT_TRUE(waitFor([&] { return weston.desktopPixels() == 0; }, 10s)) << "S: the picture over the output";
    }
    weston.click();
    EXPECT_TRUE(waitFor([&] { return ctl(player, {"status"}) == "Paused"; }, 5s)) << "a press on the picture pauses";
    if (!e.fullScreen) {
      weston.key("s");
      EXPECT_TRUE(waitFor([&] { return weston.desktopPixels() > 1000; }, 10s)) << "S again: back in its window";
    }
    weston.key("Escape");
    ASSERT_TRUE(player.waitForExit(15s)) << "Esc ends the player";
    EXPECT_EQ(player.exitCode(), 0);
    if (e.fullScreen) {
      EXPECT_TRUE(read().contains("uninhibit 1 active 0")) << read().toStdString();
    }

    EXPECT_EQ(korvane::settings::profileString(keys::kResumeSection, keys::kResumeFilePathKey, "", install.ini()),
              "file://" + clip);
    EXPECT_NE(korvane::settings::profileString(keys::kResumeSection, keys::kResumePositionKey, "", install.ini()), "");
    if (!e.remembersGeometry) continue;
    EXPECT_EQ(screenValue(install, "Width"), std::to_string(kWidth));
    EXPECT_EQ(screenValue(install, "Height"), std::to_string(kHeight));
    if (!GetParam()) {  // Wayland tells no position: the file keeps the one it had
      EXPECT_EQ(screenValue(install, "Top"), std::to_string(kTop));
      EXPECT_EQ(screenValue(install, "Left"), std::to_string(kLeft));
    }
  }

  ScratchInstall install{"KorvaneRP3set"};
  enterSession(install);
  // Once the last player's full-screen picture has left the output.
  int empty = 0;
  EXPECT_TRUE(waitFor([&] { return (empty = weston.desktopPixels()) > kOutputWidth * kOutputHeight / 4 * 9 / 10; }, 10s))
      << "the desktop shows again";
  Program tool(install, "KorvaneRP3set");
  EXPECT_TRUE(waitFor([&] { return weston.desktopPixels() < empty - 10000; }, 15s)) << "no window of the tool's";
  EXPECT_TRUE(tool.running());
}

INSTANTIATE_TEST_SUITE_P(Sessions, UnderWeston, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "XWayland" : "WaylandAlone"; });

// At twice the scale (QT_SCALE_FACTOR=2 on a 96-dpi X server: 192 dpi on the screen),
// sizes are kept in logical pixels: the window shows at twice its remembered size, and each
// start and close, the restart too, leaves the remembered geometry as it was.
TEST(ScaledScreen, RestartKeepsTheRememberedGeometryAndTheWindowShowsAtTwiceItsSize) {
  ScratchInstall install{"KorvaneRP3LX"};
  install.setEnv("QT_SCALE_FACTOR", "2");
  install.setFlag("ScreenInfoSave", "1");
  const std::pair<const char*, int> remembered[] = {{"Width", kWidth}, {"Height", kHeight}, {"Top", 1500}, {"Left", 1200}};
  for (auto [key, value] : remembered)
    korvane::settings::writeProfileString(keys::kScreenSection, key, std::to_string(value), install.ini());
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    Program player(install, "KorvaneRP3LX");
    ASSERT_TRUE(player.waitForWindow());
    Program::Rect g;
    EXPECT_TRUE(waitFor([&] { return (g = player.geometry()) == Program::Rect{160, 200, 2 * kWidth, 2 * kHeight}; }, 5s))
        << g.x << "," << g.y << " " << g.width << "x" << g.height;
    player.closeWindow();
    ASSERT_TRUE(player.waitForExit());
    for (auto [key, value] : remembered) EXPECT_EQ(screenValue(install, key), std::to_string(value)) << key;
  }
}

}  // namespace
