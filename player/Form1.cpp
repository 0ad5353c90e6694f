// SPDX-License-Identifier: MIT
// Start-up and shutdown of the player window, and the settings-file, placement and
// resume routines. Handlers end quietly at a failing step; what earlier steps did stays.
#include "player/Form1.h"

#include "settings/ProfileFile.h"
#include "settings/SettingsKeys.h"

#include <cfenv>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace korvane::player {

namespace keys = korvane::settings;
using korvane::settings::profileInt;
using korvane::settings::profileString;
using korvane::settings::writeProfileString;

std::string PathUnquoteSpaces(std::string_view text) {
  if (text.size() > 1 && text.front() == '"' && text.back() == '"')
    text = text.substr(1, text.size() - 2);
  return std::string(text);
}

std::int32_t RoundHalfEven32(double value) {
  if (!std::isfinite(value)) throw std::range_error("not a number");
  // nearbyint rounds in the current mode, which is to-nearest-even unless changed.
  double r = std::nearbyint(value);
  if (r < double(std::numeric_limits<std::int32_t>::min()) ||
      r > double(std::numeric_limits<std::int32_t>::max()))
    throw std::range_error("does not fit 32 bits");
  return static_cast<std::int32_t>(r);
}

Form1::Form1(media::MediaControl& ra1, media::ViewGeometry* ra2, WindowHost& window,
             PlatformServices& platform)
    : RealAudio1(ra1), RealAudio2(ra2), window_(window), platform_(platform) {
  RealAudio1.SetEventSink(this);
}

void Form1::Form_Load() {
  if constexpr (kEdition.layout == Layout::None) return FullScreenLoad();
  // Start-up reports nothing: a step the engine refuses is skipped and the rest still runs.
  try {
    RealAudio1.SetStartupFlag(true);
  } catch (const media::MediaError&) {
  }
  const std::string path = PathUnquoteSpaces(platform_.CommandLine());
  try {
    RealAudio1.SetSourceUrl("file://" + path);
  } catch (const media::MediaError&) {
  }

  iniRead();
  for (int index = 0; index < keys::kOptionCount; ++index) {
    if (option[index] != 1) continue;
    try {
      switch (index) {
        case keys::AlwaysFront:
          AlwaysBefore();
          break;
        case keys::OriginalFit:
          sw.OriginalFit = 1;
          break;
        case keys::NotWindowsXP:
          sw.NotWindowsXP = 1;
          break;
        case keys::ScreenInfoSave:
          sw.ScreenInfoSave = 1;
          WindowValue();
          break;
        case keys::NotMultiStart:
          if (platform_.AnotherInstanceRunning()) {
            window_.SetApplicationTitle(kEdition.handOverOwnTitle);
            window_.SetCaption(kEdition.handOverOwnTitle);
            platform_.CloseWindowTitled(kEdition.handOverSearchTitle);
            window_.SetCaption(kEdition.handOverCaption);
          }
          break;
        case keys::NotPlayInfoDisplay:
          sw.NotPlayInfoDisplay = 1;
          break;
        case keys::ResumePlay:
          sw.ResumePlay = 1;
          if (RealAudio1.SourceUrl() == "file://") ResumePlay();
          break;
      }
    } catch (const std::exception&) {
      // One option that fails leaves the others to run.
    }
  }

  if (!sw.ScreenInfoSave) {
    try {
      window_.SetWidth(kEdition.defaultWidthPx * window_.TwipsPerPixelX());
      window_.SetHeight(kEdition.defaultHeightPx * window_.TwipsPerPixelY());
    } catch (const WindowError&) {
    }
  }
}

void Form1::Form_Unload(std::int16_t& /*Cancel*/) {
  if (unloaded_) return;
  unloaded_ = true;
  if constexpr (kEdition.layout == Layout::None) return FullScreenUnload();
  try {
    if (sw.ScreenInfoSave) {
      // Written as 32-bit values: a window far out on a large desktop keeps its
      // geometry and its resume point.
      screenWrite.Height = RoundHalfEven32(window_.Height() / window_.TwipsPerPixelY());
      screenWrite.Width = RoundHalfEven32(window_.Width() / window_.TwipsPerPixelX());
      screenWrite.Top = RoundHalfEven32(window_.Top());
      screenWrite.Left = RoundHalfEven32(window_.Left());
      iniWrite();
    }
    if (sw.ResumePlay) {
      resumeWrite.FilePath = RealAudio1.SourceUrl();
      resumeWrite.Position = RealAudio1.Position();
      ResumeWrite();
    }
  } catch (const std::exception&) {
    // Shutdown stops at the first failure and the program still ends.
  }
}

#if defined(KORVANE_EDITION_KAMBO)
// The full-screen edition: the picture over the whole screen from its top-left corner,
// the pointer hidden and the screen saver held off while it runs.
void Form1::FullScreenLoad() {
  try {
    RealAudio1.SetStartupFlag(true);
  } catch (const media::MediaError&) {
  }
  try {
    RealAudio1.SetSourceUrl("file://" + PathUnquoteSpaces(platform_.CommandLine()));
  } catch (const media::MediaError&) {
  }
  window_.ShowCursor(false);
  platform_.InhibitScreenSaver();
  try {
    window_.SetTop(0);
    window_.SetLeft(0);
    RealAudio1.SetTop(window_.Top());
    RealAudio1.SetLeft(window_.Left());
    window_.SetHeight(window_.ScreenHeight());
    window_.SetWidth(window_.ScreenWidth());
    RealAudio1.SetHeight(window_.Height());
    RealAudio1.SetWidth(window_.Width());
  } catch (const std::exception&) {
  }
  iniRead();
  for (int index = 0; index < keys::kOptionCount; ++index) {
    if (option[index] != 1) continue;
    try {
      if (index == keys::AlwaysFront) {
        AlwaysBefore();
      } else if (index == keys::ResumePlay) {
        sw.ResumePlay = 1;
        if (RealAudio1.SourceUrl() == "file://") ResumePlay();
      }
    } catch (const std::exception&) {
    }
  }
}

void Form1::FullScreenUnload() {
  try {
    window_.ShowCursor(true);
    if (sw.ResumePlay) {
      resumeWrite.FilePath = RealAudio1.SourceUrl();
      resumeWrite.Position = RealAudio1.Position();
      ResumeWrite();
    }
    platform_.ReleaseScreenSaver();
  } catch (const std::exception&) {
    // The inhibition still ends with the process.
  }
}
#endif

void Form1::iniRead() {
  const auto file = platform_.SettingsFile();
  for (int i = 0; i < keys::kOptionCount; ++i)
    option[i] = profileInt(keys::kOptionSection, keys::kOptionKeys[i], keys::kOptionDefault, file);
}

void Form1::iniRead2() {
  const auto file = platform_.SettingsFile();
  const int defaults[] = {kEdition.screenHeightDefault, kEdition.screenWidthDefault, 0, 0};
  std::int32_t* fields[] = {&screenRead.Height, &screenRead.Width, &screenRead.Top, &screenRead.Left};
  for (int i = 0; i < 4; ++i)
    *fields[i] = profileInt(keys::kScreenSection, keys::kScreenKeys[i].key, defaults[i], file);
}

void Form1::iniRead4() {
  const auto file = platform_.SettingsFile();
  resumeRead.FilePath = profileString(keys::kResumeSection, keys::kResumeFilePathKey,
                                      keys::kResumeFilePathDefault, file);
  resumeRead.Position = profileInt(keys::kResumeSection, keys::kResumePositionKey,
                                   keys::kResumePositionDefault, file);
}

void Form1::iniWrite() {
  const auto file = platform_.SettingsFile();
  const std::int32_t values[] = {screenWrite.Height, screenWrite.Width, screenWrite.Top, screenWrite.Left};
  for (int i = 0; i < 4; ++i)
    writeProfileString(keys::kScreenSection, keys::kScreenKeys[i].key, std::to_string(values[i]), file);
}

void Form1::ResumeWrite() {
  const auto file = platform_.SettingsFile();
  // The pair or nothing: a position written beside a path the file refused (one holding
  // a line break) would resume the earlier clip at this clip's position.
  if (!writeProfileString(keys::kResumeSection, keys::kResumeFilePathKey, resumeWrite.FilePath, file)) return;
  writeProfileString(keys::kResumeSection, keys::kResumePositionKey, std::to_string(resumeWrite.Position), file);
}

void Form1::AlwaysBefore() {
  const double tx = window_.TwipsPerPixelX(), ty = window_.TwipsPerPixelY();
  window_.SetTopmost(RoundHalfEven32(window_.Left() / tx), RoundHalfEven32(window_.Top() / ty),
                     RoundHalfEven32(window_.Width() / tx), RoundHalfEven32(window_.Height() / ty));
}

void Form1::WindowValue() {
  iniRead2();
  window_.SetWidth(window_.TwipsPerPixelX() * screenRead.Width);
  window_.SetHeight(window_.TwipsPerPixelY() * screenRead.Height);
  window_.SetTop(screenRead.Top);
  window_.SetLeft(screenRead.Left);
}

void Form1::ResumePlay() {
  iniRead4();
  std::string source = resumeRead.FilePath.substr(0, resumeRead.FilePath.find('\0'));
  RealAudio1.SetSourceUrl(source);
  RealAudio1.Seek(resumeRead.Position);
}

}  // namespace korvane::player
