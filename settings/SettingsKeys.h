// SPDX-License-Identifier: MIT
// Every section and key of kvnset.ini in one place, with the defaults readers use.
#pragma once

#include <array>
#include <string_view>

namespace korvane::settings {

inline constexpr std::string_view kFileName = "kvnset.ini";

// Section "Korvane RP 3": the seven option flags, by index. A flag is on only when
// its value is exactly 1; a missing key reads as 0.
inline constexpr std::string_view kOptionSection = "Korvane RP 3";
enum Option : int {
  AlwaysFront = 0,
  OriginalFit = 1,
  NotWindowsXP = 2,
  ScreenInfoSave = 3,
  NotMultiStart = 4,
  NotPlayInfoDisplay = 5,
  ResumePlay = 6,
};
inline constexpr int kOptionCount = 7;
inline constexpr std::array<std::string_view, kOptionCount> kOptionKeys = {
    "AlwaysFront",    "OriginalFit",        "NotWindowsXP", "ScreenInfoSave",
    "NotMultiStart",  "NotPlayInfoDisplay", "ResumePlay"};
inline constexpr int kOptionDefault = 0;

// Section "Screen": the window geometry; sizes in pixels, positions in twips.
// Keys in the order they are read and written. The top edition reads other size
// defaults, so the defaults here are those of the entry and standard editions.
inline constexpr std::string_view kScreenSection = "Screen";
struct ScreenKey {
  std::string_view key;
  int defaultValue;
};
inline constexpr std::array<ScreenKey, 4> kScreenKeys = {
    ScreenKey{"Height", 411}, ScreenKey{"Width", 480}, ScreenKey{"Top", 0}, ScreenKey{"Left", 0}};

// Section "ResumeInfo": the media source text and the position in milliseconds.
inline constexpr std::string_view kResumeSection = "ResumeInfo";
inline constexpr std::string_view kResumeFilePathKey = "FilePath";
inline constexpr std::string_view kResumeFilePathDefault = "";
inline constexpr std::string_view kResumePositionKey = "Position";
inline constexpr int kResumePositionDefault = 0;

// Section "KeepConnect": the settings tool's association records, one per
// extension box; box 11 (the user's own extension) uses the empty key name.
inline constexpr std::string_view kKeepConnectSection = "KeepConnect";
inline constexpr int kKeepConnectDefault = 0;

}  // namespace korvane::settings
