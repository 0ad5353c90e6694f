// SPDX-License-Identifier: MIT
// The symbol a key bears without Shift, so that a shifted key acts like the plain one
// whatever character Shift makes of it.
#pragma once

#include <optional>

namespace korvane::platform {

// The X11 keysym of the key with hardware code `scanCode` at the first shift level of
// the first layout; nullopt off X11 or for an unknown code.
std::optional<unsigned long> unshiftedKeysym(unsigned scanCode);

}  // namespace korvane::platform
