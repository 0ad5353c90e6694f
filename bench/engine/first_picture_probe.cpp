// SPDX-License-Identifier: MIT
// Runs a player and measures it from outside, the same way for any player: the time from
// start until a picture shows at a screen point, then CPU time and peak memory once it has
// played on for a while.
//
// first_picture_probe [--after-dark] [--keep] <x> <y> <seconds> -- <command> [args...]
// prints: first_picture_ms=<n> cpu_s=<n> peak_mb=<n> pid=<n>   (first_picture_ms=-1: never shown)
//   --after-dark: the point may show an earlier player's picture; the time runs until it
//                 has gone dark and lit again (a hand-over from that player)
//   --keep:       the player plays on after the figures (its pid is printed)
#include "StartQuiet.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Any of the 16 x 16 pixels around (x, y) clearly not black.
bool lit(Display* display, int x, int y) {
  XImage* image = XGetImage(display, DefaultRootWindow(display), x - 8, y - 8, 16, 16, AllPlanes, ZPixmap);
  if (!image) return false;
  bool any = false;
  for (int j = 0; j < 16 && !any; ++j)
    for (int i = 0; i < 16 && !any; ++i) {
      const unsigned long p = XGetPixel(image, i, j);
      any = ((p >> 16) & 0xff) + ((p >> 8) & 0xff) + (p & 0xff) > 90;
    }
  XDestroyImage(image);
  return any;
}

double cpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  const auto close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; fields >> field; ++i) {  // field 3 is the state
    if (i == 14) utime = std::stoull(field);
    if (i == 15) {
      stime = std::stoull(field);
      break;
    }
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long peakKilobytes(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  bool afterDark = false, keep = false;
  for (; argc > 1 && std::strncmp(argv[1], "--", 2) == 0 && argv[1][2]; --argc, ++argv) {
    afterDark |= std::strcmp(argv[1], "--after-dark") == 0;
    keep |= std::strcmp(argv[1], "--keep") == 0;
  }
  if (argc < 6 || std::strcmp(argv[4], "--") != 0) {
    std::fprintf(stderr, "usage: first_picture_probe [--after-dark] [--keep] <x> <y> <seconds> -- <command> [args...]\n");
    return 2;
  }
  const int x = std::atoi(argv[1]), y = std::atoi(argv[2]);
  const double playSeconds = std::atof(argv[3]);
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "first_picture_probe: no display\n");
    return 2;
  }
  bool dark = !lit(display, x, y);
  if (!dark && !afterDark) {
    std::fprintf(stderr, "first_picture_probe: the point is lit before the start\n");
    return 2;
  }

  const auto start = Clock::now();
  const pid_t pid = startQuiet(argv + 5);
  long firstMs = -1;
  while (Clock::now() - start < std::chrono::seconds(20)) {
    if (!dark) {
      dark = !lit(display, x, y);
    } else if (lit(display, x, y)) {
      firstMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      break;
    }
    if (waitpid(pid, nullptr, WNOHANG) == pid) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (firstMs >= 0) std::this_thread::sleep_for(std::chrono::duration<double>(playSeconds));
  const double cpu = cpuSeconds(pid);
  const long peak = peakKilobytes(pid);
  if (!keep || firstMs < 0) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  XCloseDisplay(display);
  std::printf("first_picture_ms=%ld cpu_s=%.2f peak_mb=%.1f pid=%d\n", firstMs, cpu, peak / 1024.0, int(pid));
  return firstMs >= 0 ? 0 : 1;
}
