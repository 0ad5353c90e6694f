// SPDX-License-Identifier: MIT
#include "platform/X11Title.h"

#include <QGuiApplication>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace korvane::platform {

void clearX11Title(unsigned long window) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->display() || !window) return;
  Display* display = x11->display();
  const unsigned char empty[] = "";
  XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                  XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace, empty, 0);
  XChangeProperty(display, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace, empty, 0);
  XFlush(display);
}

}  // namespace korvane::platform
