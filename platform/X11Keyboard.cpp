// SPDX-License-Identifier: MIT
#include "platform/X11Keyboard.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace korvane::platform {

std::optional<unsigned long> unshiftedKeysym(unsigned scanCode) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->display() || scanCode < 8 || scanCode > 255) return std::nullopt;
  const KeySym sym = XkbKeycodeToKeysym(x11->display(), KeyCode(scanCode), 0, 0);
  if (sym == NoSymbol) return std::nullopt;
  return sym;
}

}  // namespace korvane::platform
