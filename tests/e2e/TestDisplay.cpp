// SPDX-License-Identifier: MIT
#include "tests/e2e/TestDisplay.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <csignal>
#include <cstdlib>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>

namespace korvane::testing {

using namespace std::chrono_literals;

namespace {

// Made once and never destroyed: stopped explicitly, or by the death signal at exit.
QProcess& display() { static auto* p = new QProcess; return *p; }
QProcess& windowManager() { static auto* p = new QProcess; return *p; }

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

std::string startHelper(QProcess& process, const QString& program, const QStringList& args,
                        std::chrono::milliseconds timeout) {
  // A process group of its own: a Ctrl+C at the terminal reaches the test, which ends it.
  process.setChildProcessModifier([] {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::setpgid(0, 0);
  });
  process.setStandardErrorFile(QProcess::nullDevice());
  process.start(program, args);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!process.canReadLine() && process.state() == QProcess::Running && std::chrono::steady_clock::now() < deadline)
    process.waitForReadyRead(100);
  return process.canReadLine() ? process.readLine().trimmed().toStdString() : std::string();
}

void stopHelper(QProcess& process) {
  if (process.state() == QProcess::NotRunning) return;
  process.terminate();
  if (!process.waitForFinished(5000)) {
    process.kill();
    process.waitForFinished();
  }
}

std::string startPrivateDisplay() {
  if (display().state() != QProcess::NotRunning) return {};
  const std::string number = startHelper(display(), "Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24",
                                                             "-nolisten", "tcp", "+extension", "GLX", "-noreset"}, 30s);
  if (number.empty()) {
    stopHelper(display());
    return "Xvfb did not name a display within 30 s";
  }
  ::setenv("DISPLAY", (":" + number).c_str(), 1);
  ::unsetenv("WAYLAND_DISPLAY");  // the programs under test stay on this display
  ::unsetenv("XAUTHORITY");
  return {};
}

void stopPrivateDisplay() {
  stopWindowManager();
  stopHelper(display());
}

std::string startWindowManager() {
  if (windowManager().state() != QProcess::NotRunning) return {};
  Display* x = XOpenDisplay(nullptr);
  if (!x) return "no display for the window manager";
  windowManager().setStandardOutputFile(QProcess::nullDevice());
  startHelper(windowManager(), "openbox", {}, 0ms);
  const bool up = waitFor([&] { return managed(x) || windowManager().state() == QProcess::NotRunning; }, 10s) &&
                  managed(x);
  XCloseDisplay(x);
  if (!up) {
    stopHelper(windowManager());
    return "openbox did not take the screen within 10 s";
  }
  return {};
}

void stopWindowManager() { stopHelper(windowManager()); }

}  // namespace korvane::testing
