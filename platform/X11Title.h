// SPDX-License-Identifier: MIT
// Clears a window's title on X11, where Qt would show the program's name on a window
// that has no caption.
#pragma once

namespace korvane::platform {

// `window` is the native X11 window id; does nothing off X11.
void clearX11Title(unsigned long window);

}  // namespace korvane::platform
