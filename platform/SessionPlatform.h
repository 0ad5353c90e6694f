// SPDX-License-Identifier: MIT
// Which of Qt's window-system plugins a program of ours runs on, decided once at start.
#pragma once

namespace korvane::platform {

// Call before the QApplication exists. Leaves an explicit QT_QPA_PLATFORM alone;
// otherwise picks X11 wherever an X display exists (XWayland included), because saved
// positions, staying on top and the top edition's tool window only work there, and
// native Wayland when that is the only display. With neither, Qt reports it.
void chooseWindowSystem();

// Whether the window system tells a client where its windows are (false on Wayland).
bool windowPositionsKnown();

// Whether a Wayland compositor runs the desktop, natively or with our windows on its
// XWayland: window managers there treat utility windows as passive (Weston never gives
// them the keys) and may keep plain windows clear of their panels.
bool waylandSession();

}  // namespace korvane::platform
