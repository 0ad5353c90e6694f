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
#include <functional>
#include <optional>
#include <string>
#include <vector>

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

  // Pane layout: one pass, and the window's resize handler that runs it.
  void ReDraw();
  void Form_Resize();
  // Key preview: sees every key before the focused pane; a key it sets to 0 is consumed.
  void Form_KeyDown(std::int16_t& KeyCode, int Shift);
  // The one-second title-bar clock.
  void Timer1_Timer();
  // Files dropped on the window, in order; nullopt when the data holds no file list.
  void Form_OLEDragDrop(const std::optional<std::vector<std::string>>& files);

  // MediaEvents
  void StateChange(std::int32_t state) override;
  void PointerEvent(std::int32_t button, std::int32_t x, std::int32_t y) override;

#if KORVANE_HAS_OPEN_FILE_DIALOG
  // The open-file dialog for key D: takes the filter, returns the chosen path or "".
  std::function<std::string(std::string_view filter)> OpenFileDialog;
  // The dialog's filter: four description/pattern pairs, each text followed by a NUL.
  static std::string OpenFileFilter();
#endif

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

  void TogglePlayPause();
  void FitPictureWithinWorkArea(double vertical);
  void FullScreenLoad();
  void FullScreenUnload();
};

// Removes one pair of double quotes enclosing the whole text.
std::string PathUnquoteSpaces(std::string_view text);

// The title-bar text: name [mm:ss/mm:ss]. nullopt when a time's minutes do not fit
// 16 bits, so the caption stays as it was.
std::optional<std::string> PlayInfoCaption(std::string_view source, std::int32_t positionMs,
                                           std::int32_t lengthMs, std::string_view label,
                                           std::string_view sublabel);

// Rounds to the nearest integer, an exact half to the even one. Throws
// std::range_error when the result does not fit 32 bits.
std::int32_t RoundHalfEven32(double value);

}  // namespace korvane::player
