// SPDX-License-Identifier: MIT
// End-to-end helpers: a scratch install of the real programs, started on the test
// program's own display and driven with real key presses and window-manager requests.
// What needs Xlib lives in Desktop.cpp, away from the tests' Qt and gtest names.
#pragma once

#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "tests/e2e/TestDisplay.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <unistd.h>

namespace korvane::e2e {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

using testing::waitFor;

// Runs a command and returns its standard output, trimmed; nullopt when it fails.
inline std::optional<std::string> run(const QString& program, const QStringList& args,
                                      std::chrono::milliseconds timeout = 10s) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(int(timeout.count()))) {
    p.kill();
    p.waitForFinished();
    return std::nullopt;
  }
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return std::nullopt;
  return p.readAllStandardOutput().trimmed().toStdString();
}

// The same as text; "" when it fails.
inline QString tool(const QString& program, const QStringList& args) {
  return QString::fromStdString(run(program, args).value_or(""));
}

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
  void setEnv(const QString& name, const QString& value) { env_.insert(name, value); }
  // A variable the programs started from here do not get.
  void unsetEnv(const QString& name) { env_.remove(name); }
  // Environment for the programs and for registry lookups from the test.
  QStringList environment() const { return env_.toStringList(); }
  void useEnvironmentHere() const { ::setenv("XDG_RUNTIME_DIR", runtime().c_str(), 1); }

 private:
  fs::path dir_;
  QProcessEnvironment env_ = QProcessEnvironment::systemEnvironment();
};

// A private session bus for the test's programs; gone with the object or the test program.
class SessionBus {
 public:
  SessionBus()
      : address_(QString::fromStdString(
            testing::startHelper(process_, "dbus-daemon", {"--session", "--nofork", "--print-address=1"}, 10s))) {}
  ~SessionBus() { testing::stopHelper(process_); }
  const QString& address() const { return address_; }

 private:
  QProcess process_;
  QString address_;
};

// A 30 s clip for long enough runs, made once per test run with ffmpeg.
inline fs::path longClip() {
  static const struct Clip {
    fs::path path = fs::temp_directory_path() / ("korvane-e2e-clip-" + std::to_string(::getpid()) + ".mp4");
    Clip() {
      run("ffmpeg", QString("-hide_banner -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=10:duration=30 "
                            "-f lavfi -i sine=frequency=440:duration=30 -c:v libx264 -preset veryfast -crf 38 "
                            "-pix_fmt yuv420p -c:a aac -b:a 24k -ac 1")
                        .split(' ') << QString::fromStdString(path.string()),
          60s);
    }
    ~Clip() {
      std::error_code ec;
      fs::remove(path, ec);
    }
  } clip;
  return clip.path;
}

// Whether a picture shows: some pixel on a grid of `step` is not (nearly) black.
inline bool lit(const QImage& shot, int step = 5) {
  for (int y = 0; y < shot.height(); y += step)
    for (int x = 0; x < shot.width(); x += step)
      if (qGray(shot.pixel(x, y)) > 60) return true;
  return false;
}

// Real key presses (XTEST) to the X window `window` (an id), focused first; `keys` in
// xdotool's names.
inline void keysTo(const QString& window, const char* keys) {
  run("xdotool", {"windowfocus", "--sync", window}, 3s);
  run("xdotool", QStringList{"key", "--clearmodifiers"} + QString::fromUtf8(keys).split(' ', Qt::SkipEmptyParts), 5s);
}

// The X window `window` (an id) as the screen shows it; null when that fails.
inline QImage screenshotOf(const QString& window) {
  QProcess p;
  p.start("import", {"-window", window, "png:-"});
  if (!p.waitForFinished(10000)) {
    std::fprintf(stderr, "note: a screenshot took over 10 s and was stopped\n");
    p.kill();
    p.waitForFinished();
    return {};
  }
  return p.exitCode() == 0 ? QImage::fromData(p.readAllStandardOutput(), "PNG") : QImage();
}

// A program of the scratch install (or any command line), stdout and stderr silenced.
class Program {
 public:
  Program(const ScratchInstall& install, const char* program, const QStringList& args = {})
      : Program(QStringList{QString::fromStdString((install.dir() / program).string())} + args, install.environment()) {}
  Program(const QStringList& command, const QStringList& env) {
    process_.setProgram(command.value(0));
    process_.setArguments(command.mid(1));
    process_.setEnvironment(env);
    // The engine's libraries talk a lot; keep the test output readable.
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.start();
    pid_ = process_.waitForStarted() ? process_.processId() : 0;
  }
  ~Program() {  // kills it if still running
    process_.kill();
    process_.waitForFinished();
  }

  long long pid() const { return pid_; }
  unsigned long window() const { return window_; }
  // The program's top-level window, once mapped.
  bool waitForWindow(std::chrono::milliseconds timeout = 15s);
  // Trimmed: a caption with an empty name begins with "[".
  std::string title() const { return run("xdotool", {"getwindowname", QString::number(window_)}, 2s).value_or(""); }
  bool waitForTitle(const std::function<bool(const std::string&)>& ok, std::chrono::milliseconds timeout = 10s) {
    return waitFor([&] { return ok(title()); }, timeout);
  }
  struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
  };
  // The window on the screen; `framed`: the window manager's frame around it, if any.
  Rect geometry(bool framed = false) const;
  // A real key press (XTEST) with the window focused.
  void key(const char* keys) const { keysTo(QString::number(window_), keys); }
  // Moves and resizes the window as a user would, waiting until it is done. Two runs of
  // xdotool: chained in one, the size was now and then not applied.
  void place(int x, int y, int width, int height) const {
    run("xdotool", {"windowmove", "--sync", QString::number(window_), QString::number(x), QString::number(y)}, 3s);
    run("xdotool", {"windowsize", "--sync", QString::number(window_), QString::number(width), QString::number(height)}, 3s);
  }
  // Asks the window to close the way a window manager's close box does.
  void closeWindow() const;
  bool waitForExit(std::chrono::milliseconds timeout = 15s) {
    return process_.state() == QProcess::NotRunning || process_.waitForFinished(int(timeout.count()));
  }
  bool running() { return !waitForExit(0ms); }
  // The exit status, or 128 + the signal that ended it.
  int exitCode() const {
    return process_.exitStatus() == QProcess::CrashExit ? 128 + process_.exitCode() : process_.exitCode();
  }
  // Never pid 0: that would signal the test's own process group.
  void signal(int sig) const {
    if (pid_ > 0) ::kill(pid_t(pid_), sig);
  }
  QImage screenshot() const { return screenshotOf(QString::number(window_)); }
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
  bool lostFocus();
  int keys();

 private:
  void* display_;
  unsigned long window_;
  bool lost_ = false;
  int keys_ = 0;
};

// The visible top-level windows titled exactly `title`, as xdotool lists them.
inline QStringList windowsNamed(const QString& title) {
  const auto out = run("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"}, 3s);
  return out ? QString::fromStdString(*out).split('\n', Qt::SkipEmptyParts) : QStringList();
}

// Seconds shown as "[mm:ss/" in a play-information caption; nullopt if none.
inline std::optional<int> captionPosition(const std::string& caption) {
  std::smatch m;
  if (!std::regex_search(caption, m, std::regex(" \\[(\\d+):(\\d\\d)/\\d+:\\d\\d\\]$"))) return std::nullopt;
  return std::stoi(m[1]) * 60 + std::stoi(m[2]);
}

}  // namespace korvane::e2e
