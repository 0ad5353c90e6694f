// SPDX-License-Identifier: MIT
// The player window's interaction: pane layout, keys, the title-bar clock, drops and
// the engine's events. Each handler ends quietly at a failing step.
#include "player/Form1.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace korvane::player {

namespace {

// Layout allowances, twips.
constexpr double kPanelOverlap = 15;
constexpr double kPanelAllowance = 375;
constexpr double kFrameAllowance = 390;
constexpr double kXpAddition = 97;
constexpr double kWidthAllowance = 100;
constexpr double kNoPictureTwips = 30;
constexpr int kNoPictureWidthPx = 240;

// Virtual-key codes the handler knows.
enum Key : std::int16_t {
  kKeyEnter = 13, kKeyEsc = 27, kKeySpace = 32, kKeyB = 66, kKeyD = 68, kKeyF = 70,
  kKeyL = 76, kKeyM = 77, kKeyN = 78, kKeyR = 82, kKeyS = 83, kKeyT = 84,
  kKeyPeriod = 190, kKeyOpenBracket = 219, kKeyCloseBracket = 221,
};

std::string_view trimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string twoDigits(long value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%02ld", value);
  return buf;
}

}  // namespace

std::optional<std::string> PlayInfoCaption(std::string_view source, std::int32_t positionMs,
                                           std::int32_t lengthMs, std::string_view label,
                                           std::string_view sublabel) {
  auto split = [](std::int32_t ms) {
    long seconds = long(std::nearbyint(ms / 1000.0));
    return std::pair<long, long>(seconds / 60, seconds % 60);
  };
  auto [posMin, posSec] = split(positionMs);
  auto [lenMin, lenSec] = split(lengthMs);
  if (posMin > std::numeric_limits<std::int16_t>::max() ||
      lenMin > std::numeric_limits<std::int16_t>::max())
    return std::nullopt;

  size_t slash = source.rfind('/');
  std::string name = slash == std::string_view::npos ? std::string() : std::string(source.substr(slash + 1));
  if (name.size() >= 3) {
    std::string_view tail = std::string_view(name).substr(name.size() - 3);
    if (tail == "mp3" || tail == "m3u")
      name = std::string(trimSpaces(label)) + "/" + std::string(trimSpaces(sublabel));
  }
  return name + " [" + twoDigits(posMin) + ":" + twoDigits(posSec) + "/" + twoDigits(lenMin) +
         ":" + twoDigits(lenSec) + "]";
}

void Form1::ReDraw() {
  if constexpr (kEdition.layout == Layout::None) return;
  try {
    window_.SetFocus();
    const double tx = window_.TwipsPerPixelX(), ty = window_.TwipsPerPixelY();
    if constexpr (kEdition.layout == Layout::Panes) {
      // The panel follows the image window's size from before this pass; the second
      // pass of a resize brings it under the image as the first pass sized it.
      RealAudio2->SetTop(RealAudio1.Height() - kPanelOverlap);
      RealAudio2->SetWidth(RealAudio1.Width());
    }
    const double vertical = kEdition.layout == Layout::Panes
                                ? kFrameAllowance + kPanelAllowance + (sw.NotWindowsXP == 1 ? 0 : kXpAddition)
                                : kFrameAllowance;
    if (sw.OriginalFit == 1) {
      RealAudio1.SetHeight(ty * RealAudio1.ClipHeight());
      RealAudio1.SetWidth(tx * RealAudio1.ClipWidth());
      if (RealAudio1.Height() == kNoPictureTwips && RealAudio1.Width() == kNoPictureTwips) {
        if constexpr (kEdition.layout == Layout::Panes) {
          RealAudio1.SetHeight(0);
          RealAudio1.SetWidth(kNoPictureWidthPx * tx);
        } else {
          RealAudio1.SetHeight(kEdition.defaultHeightPx * ty);
          RealAudio1.SetWidth(kEdition.defaultWidthPx * tx);
        }
      }
      FitPictureWithinWorkArea(vertical);
      window_.SetHeight(RealAudio1.Height() + vertical);
      window_.SetWidth(RealAudio1.Width() + kWidthAllowance);
    } else {
      RealAudio1.SetHeight(window_.Height() - vertical);
      RealAudio1.SetWidth(window_.Width() - kWidthAllowance);
    }
  } catch (const std::exception&) {
    // A refused focus or size ends the pass; earlier steps stay.
  }
}

// A picture larger than the screen would push the panel and the window's edges off it:
// scaled down to whole pixels, its aspect kept. Smaller pictures stay as they are.
void Form1::FitPictureWithinWorkArea(double vertical) {
  const double width = RealAudio1.Width(), height = RealAudio1.Height();
  const double roomWidth = window_.WorkAreaWidth() - kWidthAllowance;
  const double roomHeight = window_.WorkAreaHeight() - vertical;
  if ((width <= roomWidth && height <= roomHeight) || roomWidth <= 0 || roomHeight <= 0) return;
  const double scale = std::min(roomWidth / width, roomHeight / height);
  const double tx = window_.TwipsPerPixelX(), ty = window_.TwipsPerPixelY();
  RealAudio1.SetHeight(std::floor(height * scale / ty) * ty);
  RealAudio1.SetWidth(std::floor(width * scale / tx) * tx);
}

void Form1::Form_Resize() {
  if constexpr (kEdition.layout == Layout::None) return;
  ReDraw();
  if (window_.WindowState() == kMaximized) ReDraw();
  if (window_.WindowState() == kNormal) ReDraw();
}

void Form1::TogglePlayPause() {
  const std::int32_t state = RealAudio1.PlayState();
  if (state == media::kStopped || state == media::kPaused)
    RealAudio1.Play();
  else
    RealAudio1.Pause();
}

#if KORVANE_HAS_OPEN_FILE_DIALOG
std::string Form1::OpenFileFilter() {
  static constexpr std::string_view texts[] = {
      "メディアファイル (すべての種類)",
      "*.rm;*.ram;*.avi;*.asf;*.asx;*.mid;*.mov;*.mp3;*.mpg;*.wav;*.wma;*.wmv;*.wvx",
      "RealMediaファイル (*.rm;*.ram)", "*.rm;*.ram",
      "ムービーファイル (*.mpg)", "*.mpg;*.mpeg",
      "すべてのファイル", "*.*"};
  std::string filter;
  for (std::string_view text : texts) {
    filter += text;
    filter += '\0';
  }
  return filter;
}
#endif

void Form1::Form_KeyDown(std::int16_t& KeyCode, int /*Shift*/) {
  try {
#if KORVANE_HAS_OPEN_FILE_DIALOG
    if (KeyCode == kKeyD) {
      std::string path = OpenFileDialog ? OpenFileDialog(OpenFileFilter()) : std::string();
      path = path.substr(0, path.find('\0'));
      RealAudio1.SetSourceUrl("file://" + path);
      KeyCode = 0;
    }
#endif
    if (KeyCode == kKeyN) {
      RealAudio1.NextEntry();
      KeyCode = 0;
    }
    if (KeyCode == kKeyB) {
      RealAudio1.PrevEntry();
      KeyCode = 0;
    }
    if (KeyCode == kKeyL) {
      RealAudio1.SetOptionL(!RealAudio1.OptionL());
      RealAudio1.Play();
      KeyCode = 0;
    }
    if (KeyCode == kKeyT) {
      if (!platform_.StartSettingsTool()) return;
      KeyCode = 0;
    }
    if (KeyCode == kKeyS) {
      if (RealAudio1.OptionS()) {
        RealAudio1.OptionSOff();
      } else {
        RealAudio1.OptionSOn();
        KeyCode = 0;
      }
    }
    if (KeyCode == kKeyEsc || KeyCode == kKeyEnter) {
      Form_Unload(KeyCode);
      window_.EndProgram();
      return;
    }
    if (KeyCode == kKeySpace) {
      TogglePlayPause();
      KeyCode = 0;
    }
    if (KeyCode == kKeyPeriod) {
      RealAudio1.PeriodCommand();
      KeyCode = 0;
    }
    if (KeyCode == kKeyM) {
      RealAudio1.SetOptionM(!RealAudio1.OptionM());
      KeyCode = 0;
    }
    // Level is 16-bit and Position 32-bit: a step that would overflow calls nothing
    // and leaves the key unconsumed.
    if (KeyCode == kKeyOpenBracket) {
      const std::int32_t level = std::int32_t(RealAudio1.Level()) + 10;
      if (level > std::numeric_limits<std::int16_t>::max()) return;
      RealAudio1.SetLevel(std::int16_t(level));
      KeyCode = 0;
    }
    if (KeyCode == kKeyCloseBracket) {
      const std::int32_t level = std::int32_t(RealAudio1.Level()) - 1000;
      if (level < std::numeric_limits<std::int16_t>::min()) return;
      RealAudio1.SetLevel(std::int16_t(level));
      KeyCode = 0;
    }
    if (KeyCode == kKeyF) {
      const std::int64_t target = std::int64_t(RealAudio1.Position()) + 1000;
      if (target > std::numeric_limits<std::int32_t>::max()) return;
      RealAudio1.Seek(std::int32_t(target));
      KeyCode = 0;
    }
    if (KeyCode == kKeyR) {
      const std::int64_t target = std::int64_t(RealAudio1.Position()) - 1000;
      if (target < std::numeric_limits<std::int32_t>::min()) return;
      RealAudio1.Seek(std::int32_t(target));
      KeyCode = 0;
    }
  } catch (const std::exception&) {
    // The key stays as it was at the failing step.
  }
}

void Form1::Timer1_Timer() {
  if constexpr (!kEdition.hasTimer1) return;
  try {
    const std::int32_t length = RealAudio1.Length();
    const std::int32_t position = RealAudio1.Position();
    const std::string source = RealAudio1.SourceUrl();
    std::string label, sublabel;
    size_t slash = source.rfind('/');
    std::string_view name = slash == std::string::npos ? std::string_view() : std::string_view(source).substr(slash + 1);
    if (name.size() >= 3 && (name.substr(name.size() - 3) == "mp3" || name.substr(name.size() - 3) == "m3u")) {
      label = RealAudio1.ClipLabel();
      sublabel = RealAudio1.ClipSublabel();
    }
    if (auto caption = PlayInfoCaption(source, position, length, label, sublabel))
      window_.SetCaption(*caption);
  } catch (const std::exception&) {
    // A tick that cannot read the engine leaves the caption as it was.
  }
}

void Form1::Form_OLEDragDrop(const std::optional<std::vector<std::string>>& files) {
  if constexpr (!kEdition.acceptsDrops) return;
  if (!files) return;
  try {
    for (const std::string& path : *files) RealAudio1.SetSourceUrl("file://" + path);
  } catch (const std::exception&) {
  }
}

void Form1::StateChange(std::int32_t state) {
  if constexpr (kEdition.layout == Layout::None) {
    try {
      window_.SetFocus();
    } catch (const std::exception&) {
    }
    return;
  } else {
    ReDraw();
    try {
      if (state == media::kPlaying && sw.NotPlayInfoDisplay != 1) window_.EnableTimer1();
    } catch (const std::exception&) {
    }
  }
}

void Form1::PointerEvent(std::int32_t /*button*/, std::int32_t /*x*/, std::int32_t y) {
  try {
    if constexpr (kEdition.pointerRule == PointerRule::PanelHeight) {
      const double panelPx = std::nearbyint(RealAudio2->Height() / window_.TwipsPerPixelY());
      if (panelPx > std::numeric_limits<std::int16_t>::max() ||
          panelPx < std::numeric_limits<std::int16_t>::min())
        return;
      if (y < std::int16_t(panelPx)) return;
    } else if constexpr (kEdition.pointerRule == PointerRule::FocusThenEvery) {
      window_.SetFocus();
    }
    TogglePlayPause();
  } catch (const std::exception&) {
    // The player keeps running whatever the engine reports.
  }
}

}  // namespace korvane::player
