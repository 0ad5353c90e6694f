// SPDX-License-Identifier: MIT
// The symbol a key bears without Shift, so that a shifted key acts like the plain one
// whatever character Shift makes of it, on X11 and on Wayland alike.
#pragma once

#include <optional>

namespace korvane::platform {

// The keysym of the key with the native scan code `scanCode` (an XKB key code, as both
// X11 and Wayland give it) at the first shift level of the first layout; nullopt for an
// unknown code or where no keyboard map can be had.
//
// The map is the X server's on X11. A Wayland client cannot ask for the session's map
// outside the toolkit, so there it is built from the XKB_DEFAULT_* variables, else the
// system's keyboard configuration, else a US layout: keys are then known by position.
std::optional<unsigned long> unshiftedKeysym(unsigned scanCode);

}  // namespace korvane::platform
