// SPDX-License-Identifier: MIT
#include "tests/e2e/TestDisplay.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace korvane::testing {

using namespace std::chrono_literals;

namespace {

long gDisplayPid = 0, gWmPid = 0;

bool managed(Display* display) {
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, left = 0;
  unsigned char* data = nullptr;
  const bool found = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                                        &format, &count, &left, &data) == Success &&
                     count == 1;
  const Window wm = found ? *reinterpret_cast<Window*>(data) : 0;
  if (data) XFree(data);
  // The property outlives the manager; its window does not.
  XWindowAttributes a;
  auto old = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  const bool alive = wm && XGetWindowAttributes(display, wm, &a);
  XSetErrorHandler(old);
  return alive;
}

}  // namespace

bool waitFor(const std::function<bool()>& ready, std::chrono::milliseconds timeout) {
  for (const auto deadline = std::chrono::steady_clock::now() + timeout; !ready(); std::this_thread::sleep_for(50ms))
    if (std::chrono::steady_clock::now() > deadline) return false;
  return true;
}

std::string spawnAndReadLine(const std::vector<std::string>& argv, int fd, long& pid,
                             std::chrono::milliseconds timeout) {
  pid = 0;
  int pipeFds[2] = {-1, -1};
  if (fd >= 0 && ::pipe2(pipeFds, O_CLOEXEC) != 0) return {};
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child == 0) {
    // Only async-signal-safe calls from here on.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    ::setpgid(0, 0);  // a Ctrl+C at the terminal reaches the test, which ends it
    ::dup2(devNull, 0);
    ::dup2(devNull, 1);
    ::dup2(devNull, 2);
    if (fd >= 0) ::dup2(pipeFds[1], fd);  // dup2 clears close-on-exec on the copy
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  if (devNull >= 0) ::close(devNull);
  if (child < 0) {
    ::close(pipeFds[0]);
    return {};
  }
  pid = child;
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{pipeFds[0], POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0) break;
    char c = 0;
    const ssize_t n = ::read(pipeFds[0], &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    line += c;
  }
  ::close(pipeFds[0]);
  return line;
}

void stopChild(long& pid) {
  if (pid <= 0) return;
  ::kill(pid_t(pid), SIGTERM);
  int status = 0;
  const bool ended = waitFor([&] { return ::waitpid(pid_t(pid), &status, WNOHANG) != 0; }, 5s);
  if (!ended) {
    ::kill(pid_t(pid), SIGKILL);
    ::waitpid(pid_t(pid), &status, 0);
  }
  pid = 0;
}

std::string startPrivateDisplay() {
  if (gDisplayPid) return {};
  const std::string number =
      spawnAndReadLine({"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "+extension",
                        "GLX", "-noreset"},
                       3, gDisplayPid, 30s);
  if (number.empty()) {
    stopChild(gDisplayPid);
    return "Xvfb did not name a display within 30 s";
  }
  ::setenv("DISPLAY", (":" + number).c_str(), 1);
  ::unsetenv("WAYLAND_DISPLAY");  // the programs under test stay on this display
  ::unsetenv("XAUTHORITY");
  std::atexit([] {
    stopWindowManager();
    stopChild(gDisplayPid);
  });
  return {};
}

std::string startWindowManager() {
  if (gWmPid) return {};
  Display* display = XOpenDisplay(nullptr);
  if (!display) return "no display for the window manager";
  spawnAndReadLine({"openbox"}, -1, gWmPid, 0ms);
  int status = 0;
  const bool up =
      gWmPid && waitFor([&] { return managed(display) || ::waitpid(pid_t(gWmPid), &status, WNOHANG) != 0; }, 10s) &&
      managed(display);
  XCloseDisplay(display);
  if (!up) {
    stopChild(gWmPid);
    return "openbox did not take the screen within 10 s";
  }
  return {};
}

void stopWindowManager() { stopChild(gWmPid); }

}  // namespace korvane::testing
