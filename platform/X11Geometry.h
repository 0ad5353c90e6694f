// SPDX-License-Identifier: MIT
// Where a window really is on an X11 screen. Qt keeps its own record, which misses the
// move a window manager makes when it frames a newly mapped window.
#pragma once

#include <QMargins>
#include <QPoint>

#include <optional>

namespace korvane::platform {

// The top-left corner of `window` (a native X11 window id) in root coordinates, asked of
// the X server; nullopt off X11 or when the server does not know the window.
std::optional<QPoint> x11ScreenPosition(unsigned long window);

// The frame the window manager says it put around `window` (_NET_FRAME_EXTENTS), in the
// server's pixels; none when it says nothing, nullopt off X11. Qt falls back to the
// parent windows' geometry, which for some window managers (Weston's for X) counts their
// invisible shadow as frame.
std::optional<QMargins> x11FrameExtents(unsigned long window);

}  // namespace korvane::platform
