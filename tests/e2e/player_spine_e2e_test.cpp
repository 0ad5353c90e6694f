// SPDX-License-Identifier: MIT
// The entry player as a user meets it: geometry and resume across a close and a new
// start, and the hand-over between instances, with real processes on the test display.
#include "platform/InstanceRegistry.h"
#include "settings/ProfileFile.h"
#include "tests/e2e/Desktop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>

using namespace korvane;
using namespace korvane::e2e;

namespace {

constexpr const char* kEntry = "KorvaneRP3LXZELTA";

class PlayerSpine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveDisplay()) GTEST_SKIP() << "needs a display";
    install.useEnvironmentHere();
  }
  int iniInt(const char* section, const char* key) const {
    return settings::profileInt(section, key, -99999, install.ini());
  }
  std::array<int, 4> screen() const {
    return {iniInt("Screen", "Left"), iniInt("Screen", "Top"), iniInt("Screen", "Width"), iniInt("Screen", "Height")};
  }
  std::string iniString(const char* section, const char* key) const {
    return settings::profileString(section, key, "", install.ini());
  }
  ScratchInstall install{kEntry};
};

}  // namespace

TEST_F(PlayerSpine, ComesBackWhereItWasClosedWithTheSameClipAndPosition) {
  install.setFlag("ScreenInfoSave", "1");
  install.setFlag("ResumePlay", "1");
  const std::string clip = longClip().string();
  {
    Program player(install, kEntry, {QString::fromStdString(clip)});
    ASSERT_TRUE(player.waitForWindow());
    ASSERT_TRUE(player.waitForTitle([](const std::string& t) { return captionPosition(t).value_or(0) >= 2; }))
        << player.title();
    player.move(100, 50);
    player.resize(600, 450);
    ASSERT_TRUE(waitFor([&] { auto g = player.geometry(); return g.width == 600 && g.x == 100; }, 5s));
    player.closeWindow();
    ASSERT_TRUE(player.waitForExit());
  }
  EXPECT_EQ(screen(), (std::array{1500, 750, 600, 450}));
  EXPECT_EQ(iniString("ResumeInfo", "FilePath"), "file://" + clip);
  const int saved = iniInt("ResumeInfo", "Position");
  EXPECT_NEAR(saved, 11000, 9000);

  Program again(install, kEntry);
  ASSERT_TRUE(again.waitForWindow());
  auto g = again.geometry();
  EXPECT_EQ((std::array{g.x, g.y, g.width, g.height}), (std::array{100, 50, 600, 450}));
  const std::string name = fs::path(clip).filename().string();
  ASSERT_TRUE(again.waitForTitle([&](const std::string& t) { return t.rfind(name + " [", 0) == 0; })) << again.title();
  EXPECT_NEAR(captionPosition(again.title()).value_or(-99), saved / 1000 + 1, 2);
}

TEST_F(PlayerSpine, HandOverClosesTheWindowBearingTheStandardTitleOnly) {
  for (const char* flag : {"NotMultiStart", "NotPlayInfoDisplay", "ScreenInfoSave", "ResumePlay"})
    install.setFlag(flag, "1");
  const QString first = QString::fromStdString(longClip().string());
  const QString second = KORVANE_TEST_DATA_DIR "/media/h264.mp4";
  platform::InstanceRegistry lookup("KorvaneRP3Test");

  Program p1(install, kEntry, {first});
  ASSERT_TRUE(p1.waitForWindow());
  EXPECT_EQ(p1.title(), "Korvane RP 3 LX ZELTA");

  // The first still bears the entry edition's own title: nothing is closed.
  Program p2(install, kEntry, {second});
  ASSERT_TRUE(p2.waitForWindow());
  EXPECT_EQ(p2.title(), "Korvane RP 3 LX");
  EXPECT_TRUE(p1.running());
  auto info = lookup.findWindow("Korvane RP 3-2 LX");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->pid, p2.pid());
  EXPECT_EQ(info->caption, "Korvane RP 3 LX");

  // A third start finds the second by its caption and waits for it to save and go.
  p2.move(40, 30);
  ASSERT_TRUE(waitFor([&] { return p2.geometry().x == 40; }, 5s));
  Program p3(install, kEntry);
  ASSERT_TRUE(p3.waitForWindow());
  // It answered as it exited, so only its teardown may still be running.
  EXPECT_TRUE(p2.waitForExit(1s));
  EXPECT_EQ(p2.exitCode(), 0);
  EXPECT_EQ(iniString("ResumeInfo", "FilePath"), "file://" + second.toStdString());
  EXPECT_EQ(iniInt("Screen", "Left"), 600);
  EXPECT_EQ(p3.title(), "Korvane RP 3 LX");
  EXPECT_TRUE(p1.running());
  // The geometry was read before the second closed: the file held none yet.
  EXPECT_EQ(p3.geometry().x, 0);
}

TEST_F(PlayerSpine, AStoppedOrKilledInstanceNeverHoldsUpTheNextStart) {
  install.setFlag("NotMultiStart", "1");
  install.setFlag("NotPlayInfoDisplay", "1");
  Program p1(install, kEntry);
  ASSERT_TRUE(p1.waitForWindow());
  Program p2(install, kEntry);
  ASSERT_TRUE(p2.waitForWindow());
  ASSERT_EQ(p2.title(), "Korvane RP 3 LX");

  p2.signal(SIGSTOP);
  const auto started = std::chrono::steady_clock::now();
  Program p3(install, kEntry);
  ASSERT_TRUE(p3.waitForWindow(20s));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 12s);
  p2.signal(SIGCONT);

  for (Program* p : {&p1, &p2, &p3}) {
    p->signal(SIGKILL);
    ASSERT_TRUE(p->waitForExit());
  }
  // Nobody is left: the next start keeps its own title and leaves no stale entry behind.
  Program p4(install, kEntry);
  ASSERT_TRUE(p4.waitForWindow());
  EXPECT_EQ(p4.title(), "Korvane RP 3 LX ZELTA");
  auto entries = fs::recursive_directory_iterator(install.runtime());
  EXPECT_EQ(std::count_if(begin(entries), end(entries), [](auto& e) { return e.is_socket(); }), 1);
}

// The close box, Esc and SIGTERM all end the program through the same close: the same
// settings, written once, and a clean exit.
TEST_F(PlayerSpine, CloseBoxEscAndTerminationWriteTheSameSettings) {
  for (const char* how : {"close box", "Esc", "SIGTERM"}) {
    SCOPED_TRACE(how);
    fs::remove(install.ini());
    install.setFlag("ScreenInfoSave", "1");
    install.setFlag("ResumePlay", "1");
    Program player(install, kEntry, {KORVANE_TEST_DATA_DIR "/media/h264.mp4"});
    ASSERT_TRUE(player.waitForWindow());
    player.move(10, 20);
    waitFor([&] { auto g = player.geometry(); return g.x == 10 && g.y == 20; }, 5s);
    if (how[0] == 'c') player.closeWindow();
    else if (how[0] == 'E') player.key("Escape");
    else player.signal(SIGTERM);
    ASSERT_TRUE(player.waitForExit());
    EXPECT_EQ(player.exitCode(), 0);
    EXPECT_EQ(screen(), (std::array{150, 300, 480, 411}));
    EXPECT_EQ(iniString("ResumeInfo", "FilePath"), "file://" KORVANE_TEST_DATA_DIR "/media/h264.mp4");
  }
}
