// SPDX-License-Identifier: MIT
// Whether the desktop's session bus is there to join.
#pragma once

namespace korvane::platform {

// True when DBUS_SESSION_BUS_ADDRESS is set or $XDG_RUNTIME_DIR/bus exists. Asking Qt
// for the session bus without one would have libdbus start a bus of its own through
// X11 autolaunch, left running after the program.
bool sessionBusAvailable();

}  // namespace korvane::platform
