// SPDX-License-Identifier: MIT
// The player window's behaviour: its load and unload handlers and the routines they
// call, working on the media control, the window and the desktop through interfaces.
// Compiled once per edition: kEdition fixes the edition's profile.
#pragma once

#include "player/EditionProfile.h"
#include "player/FormHost.h"
#include "player/media/MediaControl.h"

#include <array>
#include <cstdint>
#include <string>

namespace korvane::player {

class Form1 : public media::MediaEvents {
 public:
  Form1(media::MediaControl& RealAudio1, media::ViewGeometry* RealAudio2, WindowHost& window,
        PlatformServices& platform);

  // Start-up: source from the command line, then the option flags in index order.
  void Form_Load();
  // Shutdown: geometry and resume point back to the settings file. Runs once, however
  // many ways the window is closed.
  void Form_Unload(std::int16_t& Cancel);
  bool Unloaded() const { return unloaded_; }

  // Settings-file routines.
  void iniRead();
  void iniRead2();
  void iniRead4();
  void iniWrite();
  void ResumeWrite();
  // Window placement and resume.
  void AlwaysBefore();
  void WindowValue();
  void ResumePlay();

  // MediaEvents
  void StateChange(std::int32_t state) override;
  void PointerEvent(std::int32_t button, std::int32_t x, std::int32_t y) override;

  // Option row as read, and the switches start-up sets from it (0 or 1).
  std::array<std::int32_t, 7> option{};
  struct Switches {
    std::int16_t OriginalFit = 0;
    std::int16_t NotWindowsXP = 0;
    std::int16_t ScreenInfoSave = 0;
    std::int16_t NotPlayInfoDisplay = 0;
    std::int16_t ResumePlay = 0;
  } sw;
  // "Screen" as read by iniRead2 and as iniWrite writes it.
  struct Geometry {
    std::int32_t Height = 0, Width = 0, Top = 0, Left = 0;
  } screenRead, screenWrite;
  // "ResumeInfo" as read by iniRead4 and as ResumeWrite writes it.
  struct Resume {
    std::string FilePath;
    std::int32_t Position = 0;
  } resumeRead, resumeWrite;

 private:
  media::MediaControl& RealAudio1;
  media::ViewGeometry* RealAudio2;
  WindowHost& window_;
  PlatformServices& platform_;
  bool unloaded_ = false;
};

// Removes one pair of double quotes enclosing the whole text.
std::string PathUnquoteSpaces(std::string_view text);

// Rounds to the nearest integer, an exact half to the even one. Throws
// std::range_error when the result does not fit 32 bits.
std::int32_t RoundHalfEven32(double value);

}  // namespace korvane::player
