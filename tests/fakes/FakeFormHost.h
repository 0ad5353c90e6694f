// SPDX-License-Identifier: MIT
// A window and desktop for the form's tests: geometry in twips held as set, every
// call logged in order, and a settings file in a scratch folder.
#pragma once

#include "player/FormHost.h"

#include <functional>
#include <string>
#include <vector>

namespace korvane::fakes {

class FakeWindowHost : public player::WindowHost {
 public:
  std::string caption, appTitle;
  double left = 3990, top = 3105, width = 7185 + 120, height = 5415 + 405;
  int state = player::kNormal;
  bool shown = false;  // focus is refused until shown
  bool topmost = false, timer1 = false, ended = false;
  double tppx = 15, tppy = 15;
  double screenWidth = 1280 * 15, screenHeight = 1024 * 15;
  std::vector<std::string> log;
  std::function<void()> onResize;  // the form's resize handler, when a test wires it

  std::string Caption() const override { return caption; }
  void SetCaption(std::string_view c) override { log.push_back("Caption=" + (caption = c)); }
  std::string ApplicationTitle() const override { return appTitle; }
  void SetApplicationTitle(std::string_view t) override { log.push_back("AppTitle=" + (appTitle = t)); }
  double Left() const override { return left; }
  double Top() const override { return top; }
  double Width() const override { return width; }
  double Height() const override { return height; }
  void SetLeft(double v) override { move("Left", v, left); }
  void SetTop(double v) override { move("Top", v, top); }
  void SetWidth(double v) override { size("Width", v, width); }
  void SetHeight(double v) override { size("Height", v, height); }
  int WindowState() const override { return state; }
  void SetFocus() override {
    if (!shown) throw player::WindowError("not shown");
    log.push_back("SetFocus");
  }
  void SetTopmost(int x, int y, int cx, int cy) override {
    topmost = true;
    log.push_back("SetTopmost(" + std::to_string(x) + "," + std::to_string(y) + "," +
                  std::to_string(cx) + "," + std::to_string(cy) + ")");
  }
  double TwipsPerPixelX() const override { return tppx; }
  double TwipsPerPixelY() const override { return tppy; }
  double ScreenWidth() const override { return screenWidth; }
  double ScreenHeight() const override { return screenHeight; }
  bool cursorShown = true;
  void ShowCursor(bool show) override { flag(cursorShown, show, show ? "ShowCursor(1)" : "ShowCursor(0)"); }
  void EnableTimer1() override { flag(timer1, true, "EnableTimer1"); }
  bool Timer1Enabled() const override { return timer1; }
  void EndProgram() override { flag(ended, true, "EndProgram"); }

 private:
  void flag(bool& field, bool value, const char* what) {
    field = value;
    log.push_back(what);
  }
  static std::string num(double v) {
    std::string s = std::to_string(v);
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
    return s;
  }
  void move(const char* what, double v, double& field) {
    field = v;
    log.push_back(std::string(what) + "=" + num(v));
  }
  void size(const char* what, double v, double& field) {
    // A minimised or maximised window, or a negative size, is not resized.
    if (v < 0 || state != player::kNormal) throw player::WindowError("size refused");
    bool changed = field != v;
    move(what, v, field);
    if (changed && onResize) onResize();
  }
};

class FakePlatform : public player::PlatformServices {
 public:
  std::string commandLine;
  std::filesystem::path settingsFile;
  bool anotherInstance = false, windowFound = true, settingsToolStarts = true;
  std::vector<std::string>* log = nullptr;  // shared with the window, when set
  std::function<void()> onClose;            // what the earlier instance does as it closes
  int settingsToolStarts_ = 0;

  std::string CommandLine() const override { return commandLine; }
  std::filesystem::path SettingsFile() const override { return settingsFile; }
  bool AnotherInstanceRunning() override { return anotherInstance; }
  bool CloseWindowTitled(std::string_view title) override {
    note("CloseWindowTitled(" + std::string(title) + ")");
    if (!windowFound) return false;
    if (onClose) onClose();
    return true;
  }
  bool inhibited = false;
  void InhibitScreenSaver() override { flag(inhibited, true, "InhibitScreenSaver"); }
  void ReleaseScreenSaver() override { flag(inhibited, false, "ReleaseScreenSaver"); }
  bool StartSettingsTool() override {
    note("StartSettingsTool");
    if (settingsToolStarts) ++settingsToolStarts_;
    return settingsToolStarts;
  }

 private:
  void note(const std::string& what) {
    if (log) log->push_back(what);
  }
  void flag(bool& field, bool value, const char* what) {
    field = value;
    note(what);
  }
};

}  // namespace korvane::fakes
