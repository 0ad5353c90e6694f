// SPDX-License-Identifier: MIT
#include "player/KeyCodes.h"

namespace korvane::player {

namespace {

// Qt key values (Qt::Key) and X11 keysyms of the keys the handler knows; spelled out so
// this file needs neither Qt's nor X11's headers.
constexpr int kQtA = 0x41, kQtZ = 0x5a, kQtSpace = 0x20, kQtPeriod = 0x2e, kQtBracketLeft = 0x5b,
              kQtBracketRight = 0x5d, kQtEscape = 0x01000000, kQtReturn = 0x01000004,
              kQtEnter = 0x01000005;
constexpr unsigned long kSymLowerA = 0x61, kSymLowerZ = 0x7a, kSymEscape = 0xff1b, kSymReturn = 0xff0d,
                        kSymKeypadEnter = 0xff8d;

int fromCharacter(int c, bool keypad) {
  if (c >= kQtA && c <= kQtZ) return c;  // 65..90
  switch (c) {
    case kQtSpace: return 32;
    case kQtPeriod: return keypad ? 0 : 190;  // the keypad's decimal point is another key
    case kQtBracketLeft: return 219;
    case kQtBracketRight: return 221;
    default: return 0;
  }
}

}  // namespace

int virtualKeyCode(int qtKey, bool keypad, std::optional<unsigned long> unshifted) {
  if (unshifted) {
    unsigned long sym = *unshifted;
    if (sym >= kSymLowerA && sym <= kSymLowerZ) return int(sym - kSymLowerA) + 65;
    if (sym == kSymEscape) return 27;
    if (sym == kSymReturn || sym == kSymKeypadEnter) return 13;
    if (sym < 0x80) {
      if (int code = fromCharacter(int(sym), keypad)) return code;
    }
  }
  switch (qtKey) {
    case kQtEscape: return 27;
    case kQtReturn:
    case kQtEnter: return 13;
    default: return fromCharacter(qtKey, keypad);
  }
}

}  // namespace korvane::player
