// SPDX-License-Identifier: MIT
// Key to effect, measured from outside the same way for any player: once the picture plays,
// Space is pressed through XTEST and the screen is sampled until the picture holds still.
// The figure is the time from the press to the last change of the picture: 0 when no new
// frame showed after the press.
//
// key_pause_probe <x> <y> <w> <h> -- <command> [args...]
//   (x, y, w, h): a part of the screen that changes with every frame while playing
// prints: key_to_still_ms=<n> frame_ms=<n>   (exit 1 when it never played or never held)
#include "StartQuiet.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// The region's pixels, to be compared with the previous sample.
std::string sample(Display* display, int x, int y, int w, int h) {
  XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, w, h, AllPlanes, ZPixmap);
  if (!image) return {};
  std::string bytes(image->data, std::size_t(image->bytes_per_line) * h);
  XDestroyImage(image);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 7 || std::strcmp(argv[5], "--") != 0) {
    std::fprintf(stderr, "usage: key_pause_probe <x> <y> <w> <h> -- <command> [args...]\n");
    return 2;
  }
  const int x = std::atoi(argv[1]), y = std::atoi(argv[2]), w = std::atoi(argv[3]), h = std::atoi(argv[4]);
  Display* display = XOpenDisplay(nullptr);
  // XTEST from the library xdotool uses, loaded here so that the build needs no headers of it.
  void* xtst = dlopen("libXtst.so.6", RTLD_NOW);
  using FakeKey = int (*)(Display*, unsigned, Bool, unsigned long);
  using FakeMotion = int (*)(Display*, int, int, int, unsigned long);
  auto fakeKey = xtst ? reinterpret_cast<FakeKey>(dlsym(xtst, "XTestFakeKeyEvent")) : nullptr;
  auto fakeMotion = xtst ? reinterpret_cast<FakeMotion>(dlsym(xtst, "XTestFakeMotionEvent")) : nullptr;
  if (!display || !fakeKey || !fakeMotion) {
    std::fprintf(stderr, "key_pause_probe: no display or no XTEST\n");
    return 2;
  }
  // The pointer rests on the picture before the player starts: the keys go to the window
  // under it, and no motion during the measurement wakes a player's on-screen controls.
  fakeMotion(display, -1, x + w / 2, y + h / 2, CurrentTime);
  XSync(display, False);

  const pid_t pid = startQuiet(argv + 6);
  auto finish = [&](int status, double keyMs, double frameMs) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    XCloseDisplay(display);
    std::printf("key_to_still_ms=%.1f frame_ms=%.1f\n", keyMs, frameMs);
    return status;
  };

  // Playing: a second of steady changes after the first, so that start-up is over.
  const auto start = Clock::now();
  std::string last = sample(display, x, y, w, h);
  std::vector<Clock::time_point> changes;
  while (msSince(start) < 20000) {
    std::string now = sample(display, x, y, w, h);
    if (now != last) {
      changes.push_back(Clock::now());
      last.swap(now);
    }
    if (!changes.empty() && msSince(changes.front()) > 1000 && changes.size() > 10) break;
    if (waitpid(pid, nullptr, WNOHANG) == pid) return finish(1, -1, -1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (changes.size() <= 10) return finish(1, -1, -1);
  const double frameMs =
      std::chrono::duration<double, std::milli>(changes.back() - changes.front()).count() / double(changes.size() - 1);

  const KeyCode space = XKeysymToKeycode(display, XK_space);
  const auto pressed = Clock::now();
  fakeKey(display, space, True, CurrentTime);
  fakeKey(display, space, False, CurrentTime);
  XFlush(display);
  // Held still: nothing changes over the last 600 ms of a 1.5 s watch.
  double lastChangeMs = 0;
  while (msSince(pressed) < 1500) {
    std::string now = sample(display, x, y, w, h);
    if (now != last) {
      lastChangeMs = msSince(pressed);
      last.swap(now);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return finish(lastChangeMs < 900 ? 0 : 1, lastChangeMs, frameMs);
}
