// SPDX-License-Identifier: MIT
// The form's platform services on a Linux desktop: the command line, the settings
// file beside the programs, the instance registry, and starting the settings tool.
#pragma once

#include "player/FormHost.h"

#include <memory>
#include <string>

namespace korvane::platform {
class InstanceRegistry;
class ScreenSaverInhibitor;
}

namespace korvane::player {

class DesktopServices : public PlatformServices {
 public:
  DesktopServices(platform::InstanceRegistry& registry, std::string commandLine);
  ~DesktopServices() override;

  std::string CommandLine() const override { return commandLine_; }
  std::filesystem::path SettingsFile() const override;
  bool AnotherInstanceRunning() override;
  bool CloseWindowTitled(std::string_view title) override;
  bool StartSettingsTool() override;
  void InhibitScreenSaver() override;
  void ReleaseScreenSaver() override;

 private:
  platform::InstanceRegistry& registry_;
  std::string commandLine_;
  std::unique_ptr<platform::ScreenSaverInhibitor> screenSaver_;
};

// The program's arguments joined by single spaces.
std::string joinArguments(int argc, char** argv);

}  // namespace korvane::player
