// SPDX-License-Identifier: MIT
#include "tests/e2e/TestDisplay.h"

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

// A window manager holds the screen once the root names its check window and that window
// exists: the property outlives the manager, its window does not.
bool managed() {
  QProcess p;
  p.start("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"});
  p.waitForFinished(3000);
  const QString id = QString::fromUtf8(p.readAllStandardOutput()).section("# ", 1).trimmed();
  if (id.isEmpty()) return false;
  p.start("xwininfo", {"-id", id});
  return p.waitForFinished(3000) && p.exitCode() == 0;
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
  process.waitForStarted();
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
  windowManager().setStandardOutputFile(QProcess::nullDevice());
  startHelper(windowManager(), "openbox", {}, 0ms);
  if (!waitFor([&] { return managed() || windowManager().state() == QProcess::NotRunning; }, 10s) || !managed()) {
    stopHelper(windowManager());
    return "openbox did not take the screen within 10 s";
  }
  return {};
}

void stopWindowManager() { stopHelper(windowManager()); }

}  // namespace korvane::testing
