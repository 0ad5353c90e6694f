// SPDX-License-Identifier: MIT
#include "platform/X11Geometry.h"

#include <QGuiApplication>

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

}  // namespace korvane::platform
