// SPDX-License-Identifier: MIT
#include "player/DesktopServices.h"

#include "platform/InstanceRegistry.h"
#include "platform/Paths.h"
#include "platform/ScreenSaver.h"
#include "settings/SettingsLocation.h"

#include <QFileInfo>
#include <QProcess>

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
  return settings::settingsFilePath(platform::programDirectory().toStdString());
}

bool DesktopServices::AnotherInstanceRunning() { return registry_.anotherInstanceRunning(); }

bool DesktopServices::CloseWindowTitled(std::string_view title) {
  auto found = registry_.findWindow(QString::fromUtf8(title.data(), qsizetype(title.size())));
  if (!found) return false;
  registry_.requestClose(*found);
  return true;
}

bool DesktopServices::StartSettingsTool() {
  const QString tool = platform::programDirectory() + QStringLiteral("/KorvaneRP3set");
  if (!QFileInfo(tool).isExecutable()) return false;
  return QProcess::startDetached(tool, {});
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
