// SPDX-License-Identifier: MIT
#include "SettingsLocation.h"

#include "SettingsKeys.h"

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace korvane::settings {
namespace {

std::filesystem::path configHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return xdg;  // relative values are ignored, as the XDG base directory rules say
  const char* home = std::getenv("HOME");
  if (home && *home) return std::filesystem::path(home) / ".config";
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return std::filesystem::path(pw->pw_dir) / ".config";
  return "/tmp";
}

}  // namespace

std::filesystem::path settingsFilePath(const std::filesystem::path& programDir) {
  return settingsFilePath(programDir, ::access(programDir.c_str(), W_OK) == 0);
}

std::filesystem::path settingsFilePath(const std::filesystem::path& programDir,
                                       bool programDirWritable) {
  // The separator is always added, as the programs always did: "/" + "/kvnset.ini"
  // for a program in the root folder is still a valid path.
  std::filesystem::path beside(programDir.native() + "/" + std::string(kFileName));
  std::error_code ec;
  if (programDirWritable || std::filesystem::exists(beside, ec))
    return beside;
  return configHome() / "korvane-rp3" / std::string(kFileName);
}

}  // namespace korvane::settings
