// SPDX-License-Identifier: MIT
// The small interfaces the player form works on: its window, and the desktop
// services around it. The Qt window and the platform code implement them; tests
// put fakes in their place.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvane::player {

// Raised by a window operation the window system refuses (focus before the window
// is shown, a negative size, a resize of a minimised window...).
class WindowError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum WindowStateValue : int { kNormal = 0, kMinimized = 1, kMaximized = 2 };

class WindowHost {
 public:
  virtual ~WindowHost() = default;
  virtual std::string Caption() const = 0;
  virtual void SetCaption(std::string_view caption) = 0;
  virtual std::string ApplicationTitle() const = 0;
  virtual void SetApplicationTitle(std::string_view title) = 0;
  // Outer geometry (frame and title bar included), twips.
  virtual double Left() const = 0;
  virtual double Top() const = 0;
  virtual double Width() const = 0;
  virtual double Height() const = 0;
  virtual void SetLeft(double twips) = 0;
  virtual void SetTop(double twips) = 0;
  virtual void SetWidth(double twips) = 0;
  virtual void SetHeight(double twips) = 0;
  virtual int WindowState() const = 0;
  // Throws WindowError while the window cannot take the focus.
  virtual void SetFocus() = 0;
  // Joins the windows kept above all others, keeping place and size (pixels given).
  virtual void SetTopmost(int x, int y, int cx, int cy) = 0;
  virtual double TwipsPerPixelX() const = 0;
  virtual double TwipsPerPixelY() const = 0;
  // The screen's whole size in twips.
  virtual double ScreenWidth() const = 0;
  virtual double ScreenHeight() const = 0;
  // The part of the window's screen that panels leave free, twips.
  virtual double WorkAreaWidth() const = 0;
  virtual double WorkAreaHeight() const = 0;
  // Hides the pointer over the window, or shows it again.
  virtual void ShowCursor(bool show) = 0;
  virtual void EnableTimer1() = 0;
  virtual bool Timer1Enabled() const = 0;
  // Ends the program at once, without closing the window the normal way again.
  virtual void EndProgram() = 0;
};

class PlatformServices {
 public:
  virtual ~PlatformServices() = default;
  // The program's arguments joined by single spaces.
  virtual std::string CommandLine() const = 0;
  // Built afresh for every routine: programs of one folder share one file.
  virtual std::filesystem::path SettingsFile() const = 0;
  virtual bool AnotherInstanceRunning() = 0;
  // Finds the oldest of our own windows whose caption or application title is
  // exactly `title` and asks it to close; returns once it has written its settings
  // and gone, or after a bounded wait. Returns whether one was found.
  virtual bool CloseWindowTitled(std::string_view title) = 0;
  // Starts the settings tool from the player's own folder without waiting.
  virtual bool StartSettingsTool() = 0;
  // Keeps the screen saver from starting, until released or the process ends. The
  // user's own screen-saver setting is never changed.
  virtual void InhibitScreenSaver() = 0;
  virtual void ReleaseScreenSaver() = 0;
};

}  // namespace korvane::player
