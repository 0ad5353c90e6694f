// SPDX-License-Identifier: MIT
#include "tests/e2e/Desktop.h"

#include "settings/ProfileFile.h"
#include "tests/e2e/TestDisplay.h"

#include <QProcessEnvironment>

#include <X11/Xlib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <unistd.h>

namespace korvane::e2e {

namespace {

// A connection of its own per call: a test may switch displays. Errors (a window gone
// meanwhile) are ignored rather than ending the test program.
struct XConnection {
  XConnection() { XSetErrorHandler([](Display*, XErrorEvent*) { return 0; }); }
  ~XConnection() {
    if (display) XCloseDisplay(display);
  }
  Display* display = XOpenDisplay(nullptr);
};

Window parentOf(Display* display, Window window, Window* root) {
  Window parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, root, &parent, &children, &count)) return 0;
  if (children) XFree(children);
  return parent;
}

// The picture is a native window of its own that also carries the program's pid: the
// top-level window is the one whose parent is the root or a window manager's frame, never
// another window of the same process (which may not be listed yet).
unsigned long topLevelOf(const QStringList& ids, long long pid) {
  XConnection x;
  if (!x.display) return 0;
  for (const QString& id : ids) {
    Window root = 0;
    const Window parent = parentOf(x.display, id.toULong(), &root);
    if (parent && (parent == root || run("xdotool", {"getwindowpid", QString::number(parent)}, 2s) != std::to_string(pid)))
      return id.toULong();
  }
  return 0;
}

}  // namespace

std::optional<std::string> run(const QString& program, const QStringList& args,
                               std::chrono::milliseconds timeout) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(int(timeout.count()))) {
    p.kill();
    p.waitForFinished();
    return std::nullopt;
  }
  if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) return p.readAllStandardOutput().trimmed().toStdString();
  return std::nullopt;
}

ScratchInstall::ScratchInstall(std::initializer_list<const char*> programs) {
  char tmpl[] = "/tmp/korvane-e2e-XXXXXX";
  dir_ = ::mkdtemp(tmpl);
  fs::create_directories(runtime());
  fs::permissions(runtime(), fs::perms::owner_all);
  fs::create_directories(dir_ / "home");
  for (const char* program : programs) fs::copy_file(fs::path(KORVANE_BIN_DIR) / program, dir_ / program);
}

ScratchInstall::~ScratchInstall() {
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

void ScratchInstall::setFlag(const char* key, const char* value) const {
  settings::writeProfileString("Korvane RP 3", key, value, ini());
}

QStringList ScratchInstall::environment() const {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime().string()));
  env.insert("HOME", QString::fromStdString((dir_ / "home").string()));
  env.insert("XDG_CONFIG_HOME", QString::fromStdString((dir_ / "home" / ".config").string()));
  env.insert("XDG_DATA_HOME", QString::fromStdString((dir_ / "home" / ".local/share").string()));
  env.insert("LIBGL_ALWAYS_SOFTWARE", "1");
  env.insert("QT_QPA_PLATFORM", "xcb");
  env.remove("WAYLAND_DISPLAY");  // the test's own X server only, whatever desktop runs the tests
  // No desktop bus unless a test brings its own (and no bus started on demand).
  env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/korvane-test-bus");
  for (const QString& extra : extraEnv_) {
    if (extra.contains('='))
      env.insert(extra.section('=', 0, 0), extra.section('=', 1));
    else
      env.remove(extra);
  }
  return env.toStringList();
}

SessionBus::SessionBus() {
  address_ = QString::fromStdString(
      testing::startHelper(process_, "dbus-daemon", {"--session", "--nofork", "--print-address=1"}, 10s));
}

SessionBus::~SessionBus() { testing::stopHelper(process_); }

fs::path longClip() {
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

Program::Program(const ScratchInstall& install, const char* program, const QStringList& args)
    : Program(QStringList{QString::fromStdString((install.dir() / program).string())} + args, install.environment()) {}

Program::Program(const QStringList& command, const QStringList& env) {
  process_.setProgram(command.value(0));
  process_.setArguments(command.mid(1));
  process_.setEnvironment(env);
  // The engine's libraries talk a lot; keep the test output readable.
  process_.setStandardOutputFile(QProcess::nullDevice());
  process_.setStandardErrorFile(QProcess::nullDevice());
  process_.start();
  pid_ = process_.waitForStarted() ? process_.processId() : 0;
}

Program::~Program() {
  process_.kill();
  process_.waitForFinished();
}

bool Program::waitForWindow(std::chrono::milliseconds timeout) {
  return waitFor(
      [&] {
        auto out = run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid_)}, 2s);
        window_ = out ? topLevelOf(QString::fromStdString(*out).split('\n', Qt::SkipEmptyParts), pid_) : 0;
        return window_ != 0;
      },
      timeout);
}

std::string Program::title() const {
  return run("xdotool", {"getwindowname", QString::number(window_)}, 2s).value_or("");
}

bool Program::waitForTitle(const std::function<bool(const std::string&)>& ok, std::chrono::milliseconds timeout) {
  return waitFor([&] { return ok(title()); }, timeout);
}

Program::Rect Program::geometry(bool framed) const {
  XConnection x;
  Rect r;
  if (!x.display) return r;
  Window w = window_, root = 0, child = 0;
  while (framed) {
    const Window parent = parentOf(x.display, w, &root);
    if (!parent || parent == root) break;
    w = parent;
  }
  XWindowAttributes a{};
  if (!XGetWindowAttributes(x.display, w, &a)) return r;
  XTranslateCoordinates(x.display, w, a.root, 0, 0, &r.x, &r.y, &child);
  r.width = a.width;
  r.height = a.height;
  return r;
}

void Program::key(const char* keys) const { keysTo(QString::number(window_), keys); }

void keysTo(const QString& window, const char* keys) {
  run("xdotool", {"windowfocus", "--sync", window}, 3s);
  run("xdotool", QStringList{"key", "--clearmodifiers"} + QString::fromUtf8(keys).split(' ', Qt::SkipEmptyParts), 5s);
}

// Two runs of xdotool: chained in one, the size was now and then not applied.
void Program::place(int x, int y, int width, int height) const {
  run("xdotool", {"windowmove", "--sync", QString::number(window_), QString::number(x), QString::number(y)}, 3s);
  run("xdotool", {"windowsize", "--sync", QString::number(window_), QString::number(width), QString::number(height)}, 3s);
}

void Program::closeWindow() const {
  XConnection x;
  if (!x.display) return;
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = window_;
  ev.xclient.message_type = XInternAtom(x.display, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = long(XInternAtom(x.display, "WM_DELETE_WINDOW", False));
  ev.xclient.data.l[1] = CurrentTime;
  XSendEvent(x.display, window_, False, NoEventMask, &ev);
  XFlush(x.display);
}

bool Program::waitForExit(std::chrono::milliseconds timeout) {
  return process_.state() == QProcess::NotRunning || process_.waitForFinished(int(timeout.count()));
}

int Program::exitCode() const {
  return process_.exitStatus() == QProcess::CrashExit ? 128 + process_.exitCode() : process_.exitCode();
}

// Never pid 0: that would signal the test's own process group.
void Program::signal(int sig) const {
  if (pid_ > 0) ::kill(pid_t(pid_), sig);
}

QImage Program::screenshot() const { return screenshotOf(QString::number(window_)); }

QImage screenshotOf(const QString& window) {
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

bool lit(const QImage& shot, int step) {
  for (int y = 0; y < shot.height(); y += step)
    for (int x = 0; x < shot.width(); x += step)
      if (qGray(shot.pixel(x, y)) > 60) return true;
  return false;
}

WindowWatch::WindowWatch(unsigned long window) : display_(XOpenDisplay(nullptr)), window_(window) {
  auto* d = static_cast<Display*>(display_);
  if (!d) return;
  if (!window_) {
    window_ = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 200, 100, 0, 0, 0);
    XSelectInput(d, window_, KeyPressMask | ExposureMask);
    XMapRaised(d, window_);
    // Focus is refused to a window not yet mapped (by a window manager too).
    XEvent ev;
    if (!waitFor([&] { return XCheckWindowEvent(d, window_, ExposureMask, &ev) == True; }, 5s))
      std::fprintf(stderr, "note: the watching window never showed\n");
    XSetInputFocus(d, window_, RevertToParent, CurrentTime);
    XSync(d, False);  // its own taking of the focus is not watched
  }
  XSelectInput(d, window_, FocusChangeMask | (window ? 0 : KeyPressMask));
  XSync(d, False);
}

WindowWatch::~WindowWatch() {
  if (display_) XCloseDisplay(static_cast<Display*>(display_));
}

bool WindowWatch::lostFocus() {
  auto* d = static_cast<Display*>(display_);
  if (!d) return true;
  XSync(d, False);
  XEvent ev;
  while (XCheckWindowEvent(d, window_, FocusChangeMask, &ev)) {
    // Focus moving into one of the window's own children, or the pointer's share of a
    // focus change, leaves the keys with the window.
    if (ev.type == FocusOut && ev.xfocus.detail != NotifyInferior && ev.xfocus.detail != NotifyPointer &&
        ev.xfocus.mode != NotifyGrab && ev.xfocus.mode != NotifyUngrab)
      lost_ = true;
  }
  return lost_;
}

int WindowWatch::keys() {
  auto* d = static_cast<Display*>(display_);
  if (!d) return 0;
  XSync(d, False);
  XEvent ev;
  while (XCheckWindowEvent(d, window_, KeyPressMask, &ev)) ++keys_;
  return keys_;
}

QString tool(const QString& program, const QStringList& args) {
  return QString::fromStdString(run(program, args).value_or(""));
}

QStringList windowsNamed(const QString& title) {
  const auto out = run("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"}, 3s);
  return out ? QString::fromStdString(*out).split('\n', Qt::SkipEmptyParts) : QStringList();
}

std::optional<int> captionPosition(const std::string& caption) {
  std::smatch m;
  if (!std::regex_search(caption, m, std::regex(" \\[(\\d+):(\\d\\d)/\\d+:\\d\\d\\]$"))) return std::nullopt;
  return std::stoi(m[1]) * 60 + std::stoi(m[2]);
}

}  // namespace korvane::e2e
