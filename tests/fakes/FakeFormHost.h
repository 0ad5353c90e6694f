// SPDX-License-Identifier: MIT
// The window and desktop for the form's tests: twips as set on a 1920 x 1080 px screen,
// every call logged in order, and a scratch settings file.
#pragma once

#include "player/FormHost.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace korvane::fakes {

class FakeFormHost : public player::WindowHost, public player::PlatformServices {
 public:
  FakeFormHost() {
    char tmpl[] = "/tmp/korvane-form-XXXXXX";
    settingsFile = std::filesystem::path(::mkdtemp(tmpl)) / "kvnset.ini";
  }
  ~FakeFormHost() override { std::filesystem::remove_all(settingsFile.parent_path()); }

  // Window: at the design position, with the default outer size of 480 x 411 px.
  std::string caption, appTitle;
  double left = 3990, top = 3105, width = 7200, height = 6165;
  int state = player::kNormal;
  bool shown = false;  // focus is refused until shown
  std::function<void()> onResize;  // the form's resize handler, when a test wires it
  std::vector<std::string> log;

  // Desktop.
  std::string commandLine;
  std::filesystem::path settingsFile;
  bool anotherInstance = false, settingsToolPresent = true;
  std::function<void()> onClose;  // what the earlier instance does as it closes

  std::string Caption() const override { return caption; }
  void SetCaption(std::string_view c) override { log.push_back("Caption=" + (caption = c)); }
  std::string ApplicationTitle() const override { return appTitle; }
  void SetApplicationTitle(std::string_view t) override { log.push_back("AppTitle=" + (appTitle = t)); }
  double Left() const override { return left; }
  double Top() const override { return top; }
  double Width() const override { return width; }
  double Height() const override { return height; }
  void SetLeft(double v) override { log.push_back("Left=" + std::to_string(long(left = v))); }
  void SetTop(double v) override { log.push_back("Top=" + std::to_string(long(top = v))); }
  void SetWidth(double v) override { resize("Width=", v, width); }
  void SetHeight(double v) override { resize("Height=", v, height); }
  int WindowState() const override { return state; }
  void SetFocus() override {
    if (!shown) throw player::WindowError("not shown");
    log.push_back("SetFocus");
  }
  void SetTopmost(int x, int y, int cx, int cy) override {
    log.push_back("SetTopmost(" + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(cx) + "," +
                  std::to_string(cy) + ")");
  }
  double TwipsPerPixelX() const override { return 15; }
  double TwipsPerPixelY() const override { return 15; }
  double ScreenWidth() const override { return 1920 * 15; }
  double ScreenHeight() const override { return 1080 * 15; }
  double WorkAreaWidth() const override { return 1920 * 15; }
  double WorkAreaHeight() const override { return 1040 * 15; }  // a panel below
  void ShowCursor(bool show) override { log.push_back(show ? "ShowCursor(1)" : "ShowCursor(0)"); }
  void EnableTimer1() override { log.push_back("EnableTimer1"); }
  bool Timer1Enabled() const override { return std::count(log.begin(), log.end(), "EnableTimer1") > 0; }
  void EndProgram() override { log.push_back("EndProgram"); }

  std::string CommandLine() const override { return commandLine; }
  std::filesystem::path SettingsFile() const override { return settingsFile; }
  bool AnotherInstanceRunning() override { return anotherInstance; }
  bool CloseWindowTitled(std::string_view title) override {
    log.push_back("CloseWindowTitled(" + std::string(title) + ")");
    if (onClose) onClose();
    return true;
  }
  bool StartSettingsTool() override { return settingsToolPresent; }
  void InhibitScreenSaver() override { log.push_back("InhibitScreenSaver"); }
  void ReleaseScreenSaver() override { log.push_back("ReleaseScreenSaver"); }

 private:
  void resize(const char* what, double v, double& field) {
    // A minimised or maximised window, or a negative size, is not resized.
    if (v < 0 || state != player::kNormal) throw player::WindowError("size refused");
    const bool changed = field != v;
    field = v;
    log.push_back(what + std::to_string(long(v)));
    if (changed && onResize) onResize();
  }
};

}  // namespace korvane::fakes
