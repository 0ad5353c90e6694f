// SPDX-License-Identifier: MIT
#include "platform/X11Geometry.h"

#include <QGuiApplication>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace korvane::platform {

std::optional<QPoint> x11ScreenPosition(unsigned long window) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->display() || !window) return std::nullopt;
  Display* display = x11->display();
  int x = 0, y = 0;
  Window child = 0;
  if (!XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child))
    return std::nullopt;
  return QPoint(x, y);
}

std::optional<QMargins> x11FrameExtents(unsigned long window) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->display() || !window) return std::nullopt;
  Display* display = x11->display();
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  QMargins frame;
  if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_FRAME_EXTENTS", False), 0, 4, False,
                         XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
      type == XA_CARDINAL && format == 32 && count == 4) {
    // Xlib hands 32-bit items as longs: left, right, top, bottom.
    const auto* v = reinterpret_cast<const long*>(data);
    frame = QMargins(int(v[0]), int(v[2]), int(v[1]), int(v[3]));
  }
  if (data) XFree(data);
  return frame;
}

}  // namespace korvane::platform
