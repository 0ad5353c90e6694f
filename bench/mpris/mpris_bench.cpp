// SPDX-License-Identifier: MIT
// What the desktop media controls cost while nobody watches: a standard player's CPU
// time over 10 s of playback with no session bus, with one (published, unwatched), and
// with a client following its signals. Needs a display; prints medians.
#include "tests/e2e/Desktop.h"
#include "tests/e2e/TestDisplay.h"

#include <QCoreApplication>
#include <QProcess>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

using namespace korvane::e2e;

namespace {

const char* kPlayer = "KorvaneRP3LX";
constexpr auto kWindow = 10s;

// utime + stime of all the process's threads, in seconds.
double cpuSeconds(long long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::istringstream fields(text.substr(text.rfind(')') + 2));  // the name may hold blanks
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

enum class Mode { NoBus, Unwatched, Watched };

// CPU seconds over the window, once the clip plays; a negative value when it failed.
double measure(Mode mode, const QString& clip) {
  ScratchInstall install{kPlayer};
  std::optional<SessionBus> bus;
  if (mode != Mode::NoBus) {
    bus.emplace();
    install.setEnv("DBUS_SESSION_BUS_ADDRESS", bus->address());
  }
  QProcess follower;
  Program player(install, kPlayer, {clip});
  if (!player.waitForWindow() || !player.waitForTitle([](const std::string& t) { return captionPosition(t).has_value(); }))
    return -1;
  if (mode == Mode::Watched) {
    follower.setEnvironment(install.environment());
    follower.start("playerctl", {"--follow", "metadata", "--format", "{{status}} {{position}}"});
    if (!follower.waitForStarted()) return -1;
    std::this_thread::sleep_for(500ms);
  }
  const double before = cpuSeconds(player.pid());
  std::this_thread::sleep_for(kWindow);
  const double used = cpuSeconds(player.pid()) - before;
  follower.kill();
  follower.waitForFinished();
  return used;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (const std::string error = korvane::testing::startPrivateDisplay(); !error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const QString clip = QString::fromStdString(longClip().string());
  const std::pair<Mode, const char*> modes[] = {
      {Mode::NoBus, "no session bus"},
      {Mode::Unwatched, "session bus, nobody listening"},
      {Mode::Watched, "session bus, playerctl --follow"},
  };
  std::vector<double> figures[3];
  // Alternating, so that a busy spell of the machine hits every mode alike.
  for (int i = 0; i < rounds; ++i)
    for (int m = 0; m < 3; ++m) {
      // A player that could not start on the shared display is started again.
      double used = -1;
      for (int attempt = 0; attempt < 3 && used < 0; ++attempt) used = measure(modes[m].first, clip);
      if (used < 0) {
        std::fprintf(stderr, "run failed: %s\n", modes[m].second);
        return 1;
      }
      figures[m].push_back(used);
    }
  std::printf("CPU time (user + system) over %lld s of playback, median of %d runs\n",
              static_cast<long long>(kWindow.count()), rounds);
  for (int m = 0; m < 3; ++m) {
    std::printf("  %-34s %6.3f s  (", modes[m].second, median(figures[m]));
    for (double f : figures[m]) std::printf(" %.3f", f);
    std::printf(" )\n");
  }
  return 0;
}
