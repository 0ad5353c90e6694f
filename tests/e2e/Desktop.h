// SPDX-License-Identifier: MIT
// End-to-end helpers: a scratch install of the real programs, started on the test
// program's own display and driven with real key presses and window-manager requests.
#pragma once

#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "tests/e2e/TestDisplay.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace korvane::e2e {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

using testing::waitFor;

// Runs a command and returns its standard output, trimmed; nullopt when it fails.
std::optional<std::string> run(const QString& program, const QStringList& args,
                               std::chrono::milliseconds timeout = 10s);
// The same as text; "" when it fails.
QString tool(const QString& program, const QStringList& args);

// A folder holding copies of the programs (so each test has its own kvnset.ini), a
// runtime folder for the instance registry and a home, removed afterwards.
class ScratchInstall {
 public:
  explicit ScratchInstall(std::initializer_list<const char*> programs);
  ~ScratchInstall();
  const fs::path& dir() const { return dir_; }
  fs::path ini() const { return dir_ / "kvnset.ini"; }
  fs::path runtime() const { return dir_ / "run"; }
  void setFlag(const char* key, const char* value) const;
  // An extra variable for the programs started from here.
  void setEnv(const QString& name, const QString& value) { extraEnv_.append(name + "=" + value); }
  // A variable the programs started from here do not get.
  void unsetEnv(const QString& name) { extraEnv_.append(name); }
  // Environment for the programs and for registry lookups from the test.
  QStringList environment() const;
  void useEnvironmentHere() const { ::setenv("XDG_RUNTIME_DIR", runtime().c_str(), 1); }

 private:
  fs::path dir_;
  QStringList extraEnv_;
};

// A private session bus for the test's programs; gone with the object or the test program.
class SessionBus {
 public:
  SessionBus();
  ~SessionBus();
  const QString& address() const { return address_; }

 private:
  QProcess process_;
  QString address_;
};

// A 30 s clip for long enough runs, made once per test run with ffmpeg.
fs::path longClip();

// Whether a picture shows: some pixel on a grid of `step` is not (nearly) black.
bool lit(const QImage& shot, int step = 5);

// A program of the scratch install (or any command line), stdout and stderr silenced.
class Program {
 public:
  Program(const ScratchInstall& install, const char* program, const QStringList& args = {});
  Program(const QStringList& command, const QStringList& env);
  ~Program();  // kills it if still running

  long long pid() const { return pid_; }
  unsigned long window() const { return window_; }
  // The program's top-level window, once mapped.
  bool waitForWindow(std::chrono::milliseconds timeout = 15s);
  // Trimmed: a caption with an empty name begins with "[".
  std::string title() const;
  bool waitForTitle(const std::function<bool(const std::string&)>& ok, std::chrono::milliseconds timeout = 10s);
  struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
  };
  // The window on the screen; `framed`: the window manager's frame around it, if any.
  Rect geometry(bool framed = false) const;
  // A real key press (XTEST) with the window focused; `keys` in xdotool's names.
  void key(const char* keys) const;
  // Moves and resizes the window as a user would, waiting until it is done.
  void place(int x, int y, int width, int height) const;
  // Asks the window to close the way a window manager's close box does.
  void closeWindow() const;
  bool waitForExit(std::chrono::milliseconds timeout = 15s);
  bool running() { return !waitForExit(0ms); }
  // The exit status, or 128 + the signal that ended it.
  int exitCode() const;
  void signal(int sig) const;
  QImage screenshot() const;
  bool showsPicture() const { return lit(screenshot()); }

 private:
  QProcess process_;
  long long pid_ = 0;
  unsigned long window_ = 0;
};

// One window's keyboard focus and key presses from the moment this is made: a given
// window's, or a window of its own that takes the keys at once, as a program a user types in.
class WindowWatch {
 public:
  explicit WindowWatch(unsigned long window = 0);
  ~WindowWatch();
  unsigned long window() const { return window_; }
  bool lostFocus();
  int keys();

 private:
  void* display_;
  unsigned long window_;
  bool lost_ = false;
  int keys_ = 0;
};

// Real key presses (XTEST) to the X window `window` (an id), focused first.
void keysTo(const QString& window, const char* keys);
// The X window `window` (an id) as the screen shows it; null when that fails.
QImage screenshotOf(const QString& window);

// The visible top-level windows titled exactly `title`, as xdotool lists them.
QStringList windowsNamed(const QString& title);

// Seconds shown as "[mm:ss/" in a play-information caption; nullopt if none.
std::optional<int> captionPosition(const std::string& caption);

}  // namespace korvane::e2e
