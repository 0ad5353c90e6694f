// SPDX-License-Identifier: MIT
// From a key press to the virtual-key code the player's key handler knows.
#pragma once

#include <optional>

namespace korvane::player {

// The virtual-key code of a key press, 0 for keys the player does not know. `qtKey` is
// Qt's key value; `keypad` whether it came from the keypad; `unshifted` the key's symbol
// without Shift (an X11 keysym) where the platform tells it, so that Shift+"." or
// Shift+"[" act like the plain key whatever character Shift makes of them.
int virtualKeyCode(int qtKey, bool keypad, std::optional<unsigned long> unshifted);

}  // namespace korvane::player
