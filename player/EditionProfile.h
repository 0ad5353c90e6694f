// SPDX-License-Identifier: MIT
// What sets the four player editions apart, one row each. The build picks one row
// (KORVANE_EDITION_*), and code an edition lacks is compiled out with `if constexpr`
// or the preprocessor on these fields.
#pragma once

#include <string_view>

namespace korvane::player {

enum class Border { Sizable, SizableToolWindow, None };
enum class Layout { Panes, ImageOnly, None };
enum class PointerRule { PanelHeight, Every, FocusThenEvery };

struct EditionProfile {
  std::string_view programName;
  std::string_view applicationTitle;
  std::string_view designCaption;
  Border border;
  bool minMaxButtons;
  bool shownInTaskbar;
  // Design position and client size, twips.
  int designLeft, designTop, designWidth, designHeight;
  bool hasControlPanel;
  bool hasTimer1;
  bool hasOpenFileDialog;  // key D
  bool acceptsDrops;
  Layout layout;
  bool remembersGeometry;
  bool handOver;
  // Hand-over texts: title and caption taken first, title searched, caption after.
  std::string_view handOverOwnTitle, handOverSearchTitle, handOverCaption;
  // Outer size when no geometry is restored, pixels (0: the whole screen), and the
  // read defaults of "Screen" Height and Width.
  int defaultWidthPx, defaultHeightPx;
  int screenHeightDefault, screenWidthDefault;
  PointerRule pointerRule;
};

inline constexpr EditionProfile kEntryEdition{
    "KorvaneRP3LXZELTA", "Korvane RP 3 LX ZELTA", "Korvane RP 3 LX ZELTA",
    Border::Sizable, true, true, 3990, 3105, 7185, 5415,
    true, true, true, true, Layout::Panes, true, true,
    "Korvane RP 3-2 LX", "Korvane RP 3 LX", "Korvane RP 3 LX",
    480, 411, 411, 480, PointerRule::PanelHeight};

inline constexpr EditionProfile kStandardEdition{
    "KorvaneRP3LX", "Korvane RP 3 LX", "Korvane RP 3 LX",
    Border::Sizable, true, true, 3990, 3105, 7185, 5415,
    true, true, false, true, Layout::Panes, true, true,
    "Korvane RP 3-2 LX", "Korvane RP 3 LX", "Korvane RP 3 LX",
    480, 411, 411, 480, PointerRule::PanelHeight};

inline constexpr EditionProfile kTopEdition{
    "KorvaneRP3LXVORNA", "Korvane RP 3 LX VORNA", "",
    Border::SizableToolWindow, false, false, 3990, 2985, 7215, 5055,
    false, true, false, true, Layout::ImageOnly, true, true,
    "Korvane WMP 3 LX VORNA", "", "",
    453, 360, 360, 453, PointerRule::Every};

inline constexpr EditionProfile kFullScreenEdition{
    "KorvaneRP3LXKAMBO", "Korvane RP 3 LX KAMBO", "",
    Border::None, false, false, 3930, 2655, 7215, 5055,
    false, false, false, false, Layout::None, false, false,
    "", "", "",
    0, 0, 0, 0, PointerRule::FocusThenEvery};

#if defined(KORVANE_EDITION_ZELTA)
inline constexpr const EditionProfile& kEdition = kEntryEdition;
#elif defined(KORVANE_EDITION_LX)
inline constexpr const EditionProfile& kEdition = kStandardEdition;
#elif defined(KORVANE_EDITION_VORNA)
inline constexpr const EditionProfile& kEdition = kTopEdition;
#elif defined(KORVANE_EDITION_KAMBO)
inline constexpr const EditionProfile& kEdition = kFullScreenEdition;
#endif

#if defined(KORVANE_HAS_OPEN_FILE_DIALOG)
static_assert(bool(KORVANE_HAS_OPEN_FILE_DIALOG) == kEdition.hasOpenFileDialog,
              "the open-file dialog is built into exactly the editions that have key D");
#endif

}  // namespace korvane::player
