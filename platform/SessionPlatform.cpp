// SPDX-License-Identifier: MIT
#include "platform/SessionPlatform.h"

#include <QGuiApplication>

#include <cstdlib>

namespace korvane::platform {

namespace {

bool set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

}  // namespace

void chooseWindowSystem() {
  if (set("QT_QPA_PLATFORM")) return;
  // Qt itself would prefer native Wayland in a Wayland session even where XWayland runs.
  if (set("DISPLAY"))
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  else if (set("WAYLAND_DISPLAY"))
    ::setenv("QT_QPA_PLATFORM", "wayland", 1);
}

bool windowPositionsKnown() {
  return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool waylandSession() { return !windowPositionsKnown() || set("WAYLAND_DISPLAY"); }

}  // namespace korvane::platform
