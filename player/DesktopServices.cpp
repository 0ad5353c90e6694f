// SPDX-License-Identifier: MIT
#include "player/DesktopServices.h"

#include "platform/InstanceRegistry.h"
#include "platform/Paths.h"
#include "platform/ScreenSaver.h"
#include "settings/SettingsLocation.h"

#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

namespace korvane::player {

DesktopServices::DesktopServices(platform::InstanceRegistry& registry, std::string commandLine)
    : registry_(registry), commandLine_(std::move(commandLine)) {}

DesktopServices::~DesktopServices() = default;

void DesktopServices::InhibitScreenSaver() {
  if (!screenSaver_)
    screenSaver_ = std::make_unique<platform::ScreenSaverInhibitor>(
        QStringLiteral("Korvane RP 3"), QStringLiteral("Playing full screen"));
  screenSaver_->inhibit();
}

void DesktopServices::ReleaseScreenSaver() {
  if (screenSaver_) screenSaver_->release();
}

std::filesystem::path DesktopServices::SettingsFile() const {
  return settings::settingsFilePath(platform::programDirectory());
}

bool DesktopServices::AnotherInstanceRunning() { return registry_.anotherInstanceRunning(); }

bool DesktopServices::CloseWindowTitled(std::string_view title) {
  auto found = registry_.findWindow(QString::fromUtf8(title.data(), qsizetype(title.size())));
  if (!found) return false;
  registry_.requestClose(*found);
  return true;
}

bool DesktopServices::StartSettingsTool() {
  const std::filesystem::path tool = platform::programDirectory() / "KorvaneRP3set";
  if (::access(tool.c_str(), X_OK) != 0) return false;
  // The path goes to exec as bytes (a folder name need not be UTF-8). The middle child
  // ends at once, so the tool belongs to no one and leaves no zombie behind.
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::setsid();
    if (::fork() == 0) {
      char* const argv[] = {const_cast<char*>(tool.c_str()), nullptr};
      ::execv(tool.c_str(), argv);
    }
    ::_exit(0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

std::string joinArguments(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

}  // namespace korvane::player
