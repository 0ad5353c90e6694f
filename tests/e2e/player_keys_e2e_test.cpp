// SPDX-License-Identifier: MIT
// The entry player driven as a user drives it: real key presses, a real drag and drop,
// the open-file dialog, and the title bar and window size that follow the clip.
#include "settings/ProfileFile.h"
#include "tests/e2e/Desktop.h"

#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

#include <thread>

using namespace korvane;
using namespace korvane::e2e;

namespace {

constexpr const char* kEntry = "KorvaneRP3LXZELTA";
const QString kMedia = KORVANE_TEST_DATA_DIR "/media";

class PlayerKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display";
    install.useEnvironmentHere();
  }
  static bool named(const std::string& title, const std::string& name) {
    return title.rfind(name + " [", 0) == 0 && captionPosition(title).has_value();
  }
  // The control panel's strip of the window, as the screen shows it.
  static QImage panel(const Program& player) {
    const QString file = QString::fromStdString((fs::temp_directory_path() / "korvane-panel.png").string());
    run("import", {"-window", QString::number(player.window()), file}, 10s);
    QImage shot(file);
    auto g = player.geometry();
    return shot.copy(0, g.height - 80, g.width, 80);  // the panel lies in the bottom strip
  }
  ScratchInstall install{kEntry, "KorvaneRP3set"};
};

}  // namespace

// One run on the long clip: the panel follows M and [ ] while paused, the position stands
// while paused, F and R seek by seconds, and Space and Shift+. resume and stop.
TEST_F(PlayerKeys, SpaceFRMAndLevelKeysOnAPlayingClip) {
  const std::string clip = longClip().string();
  const std::string name = fs::path(clip).filename().string();
  Program player(install, kEntry, {QString::fromStdString(clip)});
  ASSERT_TRUE(player.waitForWindow());
  ASSERT_TRUE(player.waitForTitle([&](const std::string& t) { return named(t, name) && captionPosition(t) >= 1; }))
      << player.title();

  player.key("space");
  std::this_thread::sleep_for(1500ms);
  const int paused = captionPosition(player.title()).value_or(-1);
  const QImage before = panel(player);
  auto becomes = [&](const std::function<bool(const QImage&)>& ok) {
    return waitFor([&] { return ok(panel(player)); }, 5s);
  };
  player.key("m");
  EXPECT_TRUE(becomes([&](const QImage& now) { return now != before; })) << "the mute button shows the change";
  player.key("m");
  EXPECT_TRUE(becomes([&](const QImage& now) { return now == before; }));
  player.key("bracketright");  // level - 1000: the volume goes to its lowest
  EXPECT_TRUE(becomes([&](const QImage& now) { return now != before; }));
  const QImage lowest = panel(player);
  player.key("bracketleft bracketleft bracketleft");
  EXPECT_TRUE(becomes([&](const QImage& now) { return now != lowest && now != before; }));
  EXPECT_EQ(captionPosition(player.title()).value_or(-2), paused) << "the position stands while paused";

  player.key("f f f f f f");
  EXPECT_TRUE(player.waitForTitle([&](const std::string& t) { return captionPosition(t) == paused + 6; }, 3s))
      << player.title();
  player.key("r r");
  EXPECT_TRUE(player.waitForTitle([&](const std::string& t) { return captionPosition(t) == paused + 4; }, 3s))
      << player.title();
  player.key("space");
  EXPECT_TRUE(player.waitForTitle([&](const std::string& t) { return captionPosition(t) >= paused + 6; }, 5s))
      << "playing again: " << player.title();
  player.key("shift+period");  // stop, Shift or not
  EXPECT_TRUE(player.waitForTitle([&](const std::string& t) { return captionPosition(t) == 0; }, 5s))
      << "stopped: " << player.title();
}

TEST_F(PlayerKeys, NAndBStepThroughTheClipsOfTheFolder) {
  Program player(install, kEntry, {kMedia + "/folder/clip 1.wav"});
  ASSERT_TRUE(player.waitForWindow());
  ASSERT_TRUE(player.waitForTitle([](const std::string& t) { return named(t, "clip 1.wav"); })) << player.title();
  player.key("n");  // "clip 2.mp3" has no tags: its labels make "/"
  EXPECT_TRUE(player.waitForTitle([](const std::string& t) { return named(t, "/"); })) << player.title();
  player.key("shift+n");
  EXPECT_TRUE(player.waitForTitle([](const std::string& t) { return named(t, "clip 10.mp4"); })) << player.title();
  player.key("n");  // nothing past the end
  std::this_thread::sleep_for(1s);
  EXPECT_TRUE(named(player.title(), "clip 10.mp4")) << player.title();
  player.key("b");
  EXPECT_TRUE(player.waitForTitle([](const std::string& t) { return named(t, "/"); })) << player.title();
}

TEST_F(PlayerKeys, OriginalFitFollowsThePictureAndAudioGivesTheSlimWindow) {
  install.setFlag("OriginalFit", "1");
  {
    Program video(install, kEntry, {kMedia + "/h264.mp4"});
    ASSERT_TRUE(video.waitForWindow());
    // 4900 x 4462 twips at 15 twips per pixel.
    EXPECT_TRUE(waitFor([&] { auto g = video.geometry(); return g.width == 327 && g.height == 297; }, 5s))
        << video.geometry().width << "x" << video.geometry().height;
  }
  Program audio(install, kEntry, {kMedia + "/tone.wav"});
  ASSERT_TRUE(audio.waitForWindow());
  EXPECT_TRUE(waitFor([&] { auto g = audio.geometry(); return g.width == 247 && g.height == 57; }, 5s))
      << audio.geometry().width << "x" << audio.geometry().height;
}

// One run of the mp3 with tags: its title, T starting the settings tool, a real drop
// replacing the clip, and D's dialog whose cancel leaves "file://" alone.
TEST_F(PlayerKeys, TitleSettingsToolDropAndOpenDialog) {
  Program player(install, kEntry, {kMedia + "/tagged.mp3"});
  ASSERT_TRUE(player.waitForWindow());
  EXPECT_TRUE(player.waitForTitle([](const std::string& t) { return named(t, "Tagged Tone/Tone Artist"); }, 3s))
      << player.title();
  EXPECT_NE(player.title().find("/00:03]"), std::string::npos) << player.title();
  auto visible = [](const QString& name) {
    auto found = run("xdotool", {"search", "--onlyvisible", "--name", name}, 2s);
    return found && !found->empty() ? found->substr(0, found->find('\n')) : std::string();
  };

  player.key("t");
  EXPECT_TRUE(waitFor([&] { return !visible("Korvane RP 3 設定ツール").empty(); }, 10s));
  run("pkill", {"-f", QString::fromStdString((install.dir() / "KorvaneRP3set").string())});
  EXPECT_TRUE(player.running());

  player.move(0, 0);
  QProcess source;
  source.start(KORVANE_BIN_DIR "/../tests/korvane_drag_source", {kMedia + "/h264.mp4"});
  ASSERT_TRUE(source.waitForStarted());
  ASSERT_TRUE(waitFor([&] { return !visible("korvane drag source").empty(); }, 10s));
  run("xdotool", {"mousemove", "--sync", "960", "760"});
  run("xdotool", {"mousedown", "1"});
  for (int step = 1; step <= 10; ++step) {
    run("xdotool", {"mousemove", QString::number(960 - step * 75), QString::number(760 - step * 60)});
    std::this_thread::sleep_for(50ms);
  }
  std::this_thread::sleep_for(300ms);
  run("xdotool", {"mouseup", "1"});
  EXPECT_TRUE(player.waitForTitle([](const std::string& t) { return named(t, "h264.mp4"); }, 5s)) << player.title();
  source.kill();
  source.waitForFinished();

  player.key("d");
  std::string dialog;
  ASSERT_TRUE(waitFor([&] { return !(dialog = visible("^ファイルを開く$")).empty(); }, 10s));
  run("xdotool", {"windowfocus", "--sync", QString::fromStdString(dialog)});
  run("xdotool", {"key", "Escape"});
  EXPECT_TRUE(player.waitForTitle([](const std::string& t) { return t.rfind(" [00:00/00:00]", 0) == 0; }, 5s))
      << player.title();
}
