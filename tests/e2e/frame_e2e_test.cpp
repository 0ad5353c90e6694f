// SPDX-License-Identifier: MIT
// Under a window manager the window's outer size includes its frame and title bar:
// what is saved and restored is that outer size, on a display of the test's own with
// openbox managing it.
#include "settings/ProfileFile.h"
#include "tests/e2e/Desktop.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <thread>
#include <fcntl.h>
#include <unistd.h>
#include <cstring>

using namespace korvane;
using namespace korvane::e2e;

namespace {

using Outer = Program::Rect;

// The frame the window manager put around `window`, or the window itself.
Outer outerGeometry(unsigned long window) {
  Outer o;
  auto tree = run("xwininfo", {"-id", QString::number(window), "-children"});
  std::smatch m;
  std::string parent = QString::number(window).toStdString();
  if (tree && std::regex_search(*tree, m, std::regex("Parent window id: (0x[0-9a-f]+)")) && m[1] != "0x0") {
    auto info = run("xwininfo", {"-id", QString::fromStdString(m[1])});
    if (info && info->find("(the root window)") == std::string::npos) parent = m[1];
  }
  auto info = run("xwininfo", {"-id", QString::fromStdString(parent)}).value_or("");
  for (auto [label, field] : {std::pair{"Absolute upper-left X: +", &o.x}, {"Absolute upper-left Y: +", &o.y},
                              {"Width: ", &o.width}, {"Height: ", &o.height}})
    if (std::regex_search(info, m, std::regex(label + std::string("(-?\\d+)")))) *field = std::stoi(m[1]);
  return o;
}

class Framed : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveDisplay()) GTEST_SKIP() << "needs Xvfb";
    if (!run("sh", {"-c", "command -v openbox"})) GTEST_SKIP() << "needs openbox";
    shared_ = std::getenv("DISPLAY");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    xvfb_.setProgram("Xvfb");
    xvfb_.setArguments({"-displayfd", QString::number(fds[1]), "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    xvfb_.setChildProcessModifier([fd = fds[1]] { ::fcntl(fd, F_SETFD, 0); });
    xvfb_.start();
    ::close(fds[1]);
    char buf[16] = {};
    ASSERT_GT(::read(fds[0], buf, sizeof buf - 1), 0);
    ::close(fds[0]);
    ::setenv("DISPLAY", (":" + std::string(buf, strcspn(buf, "\n"))).c_str(), 1);
    wm_.start("openbox", {});
    ASSERT_TRUE(wm_.waitForStarted());
    std::this_thread::sleep_for(1s);
    install.useEnvironmentHere();
  }
  void TearDown() override {
    wm_.kill();
    wm_.waitForFinished();
    xvfb_.kill();
    xvfb_.waitForFinished();
    if (!shared_.empty()) ::setenv("DISPLAY", shared_.c_str(), 1);
  }
  std::string shared_;
  QProcess xvfb_, wm_;
  ScratchInstall install{"KorvaneRP3LX"};
};

}  // namespace

TEST_F(Framed, SavedGeometryIsTheFramedOuterSizeAndComesBackSo) {
  install.setFlag("ScreenInfoSave", "1");
  const std::pair<const char*, int> saved[] = {{"Width", 500}, {"Height", 400}, {"Left", 1500}, {"Top", 750}};
  for (auto [key, value] : saved) settings::writeProfileString("Screen", key, std::to_string(value), install.ini());
  Program player(install, "KorvaneRP3LX", {KORVANE_TEST_DATA_DIR "/media/tone.wav"});
  ASSERT_TRUE(player.waitForWindow());
  Outer o;
  EXPECT_TRUE(waitFor([&] {
    o = outerGeometry(player.window());
    return o.width == 500 && o.height == 400 && o.x == 100 && o.y == 50;
  }, 5s)) << o.x << "," << o.y << " " << o.width << "x" << o.height;
  EXPECT_LT(player.geometry().height, 400) << "the title bar takes its share";
  player.closeWindow();
  ASSERT_TRUE(player.waitForExit());
  for (auto [key, value] : saved) EXPECT_EQ(settings::profileInt("Screen", key, 0, install.ini()), value) << key;
}
