// SPDX-License-Identifier: MIT
#include "tests/e2e/Desktop.h"

#include "settings/ProfileFile.h"
#include "tests/e2e/TestDisplay.h"

#include <X11/Xlib.h>

#include <cstdio>

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

ScratchInstall::ScratchInstall(std::initializer_list<const char*> programs) {
  char tmpl[] = "/tmp/korvane-e2e-XXXXXX";
  dir_ = ::mkdtemp(tmpl);
  fs::create_directories(runtime());
  fs::permissions(runtime(), fs::perms::owner_all);
  fs::create_directories(dir_ / "home");
  for (const char* program : programs) fs::copy_file(fs::path(KORVANE_BIN_DIR) / program, dir_ / program);
  env_.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime().string()));
  env_.insert("HOME", QString::fromStdString((dir_ / "home").string()));
  env_.insert("XDG_CONFIG_HOME", QString::fromStdString((dir_ / "home" / ".config").string()));
  env_.insert("XDG_DATA_HOME", QString::fromStdString((dir_ / "home" / ".local/share").string()));
  env_.insert("LIBGL_ALWAYS_SOFTWARE", "1");
  env_.insert("QT_QPA_PLATFORM", "xcb");
  env_.remove("WAYLAND_DISPLAY");  // the test's own X server only, whatever desktop runs the tests
  // No desktop bus unless a test brings its own (and no bus started on demand).
  env_.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/korvane-test-bus");
}

ScratchInstall::~ScratchInstall() {
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

void ScratchInstall::setFlag(const char* key, const char* value) const {
  settings::writeProfileString("Korvane RP 3", key, value, ini());
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

}  // namespace korvane::e2e
