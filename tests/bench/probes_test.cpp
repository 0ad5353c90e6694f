// SPDX-License-Identifier: MIT
// The benchmark's probes measure what a user sees, whatever the program: here the "player"
// is a shell painting the root window, so each case knows exactly when the picture came.
#include "tests/e2e/TestDisplay.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

namespace {

struct Result {
  int status = -1;
  std::string out;
  double value(const std::string& key) const {
    std::smatch m;
    if (!std::regex_search(out, m, std::regex(key + "=(-?[0-9.]+)"))) return -1000;
    return std::stod(m[1]);
  }
};

Result run(const std::string& probe, const std::string& args, const std::string& script) {
  const std::string command =
      std::string(KORVANE_BIN_DIR) + "/" + probe + " " + args + " -- sh -c '" + script + "' 2>/dev/null";
  Result r;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return r;
  char buf[256];
  while (std::fgets(buf, sizeof buf, p)) r.out += buf;
  const int status = ::pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

void paint(const char* colour) {
  if (std::system((std::string("xsetroot -solid ") + colour).c_str()) != 0) ADD_FAILURE() << "xsetroot failed";
}

class Probes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(korvane::testing::startPrivateDisplay(), ""); }
  void SetUp() override { paint("black"); }
};

TEST_F(Probes, FirstPictureIsTimedFromStartAndAProgramWithoutOneFails) {
  const Result shown = run("first_picture_probe", "100 100 0", "sleep 0.4; xsetroot -solid white; exec sleep 30");
  EXPECT_EQ(shown.status, 0) << shown.out;
  EXPECT_GE(shown.value("first_picture_ms"), 350);
  EXPECT_LT(shown.value("first_picture_ms"), 5000);

  // A program that ends without a picture is reported at once, not after the 20 s bound.
  paint("black");
  const Result none = run("first_picture_probe", "100 100 0", "sleep 0.2");
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.value("first_picture_ms"), -1);
}

TEST_F(Probes, AnEarlierPictureCountsOnlyAfterItHasGone) {
  paint("white");
  // Without --after-dark a lit point is refused: the figure would be meaningless.
  EXPECT_EQ(run("first_picture_probe", "100 100 0", "exec sleep 30").status, 2);

  const Result handover = run("first_picture_probe", "--after-dark 100 100 0",
                              "sleep 0.3; xsetroot -solid black; sleep 0.4; xsetroot -solid white; exec sleep 30");
  EXPECT_EQ(handover.status, 0) << handover.out;
  EXPECT_GE(handover.value("first_picture_ms"), 650);
}

TEST_F(Probes, KeepLeavesTheProgramRunning) {
  const Result kept = run("first_picture_probe", "--keep 100 100 0", "xsetroot -solid white; exec sleep 30");
  ASSERT_EQ(kept.status, 0) << kept.out;
  const pid_t pid = static_cast<pid_t>(kept.value("pid"));
  ASSERT_GT(pid, 0);
  EXPECT_EQ(::kill(pid, 0), 0);
  ::kill(pid, SIGTERM);
}

TEST_F(Probes, KeyProbeFailsWhenThePictureNeverPlaysOrNeverHolds) {
  // Never changes: no playing to pause.
  EXPECT_EQ(run("key_pause_probe", "90 90 20 20", "exec sleep 30").status, 1);
  // Changes on and on, deaf to Space: never held still.
  const Result deaf = run("key_pause_probe", "90 90 20 20",
                          "while :; do xsetroot -solid white; sleep 0.03; xsetroot -solid grey; sleep 0.03; done");
  EXPECT_EQ(deaf.status, 1) << deaf.out;
  EXPECT_GT(deaf.value("frame_ms"), 0);
}

}  // namespace
