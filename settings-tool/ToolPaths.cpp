// SPDX-License-Identifier: MIT
#include "ToolPaths.h"

#include "platform/Paths.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace korvane::tool {
namespace {

std::filesystem::path home() {
  const char* h = std::getenv("HOME");
  if (h && *h) return h;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

std::filesystem::path fromEnv(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  if (v && *v == '/') return v;
  return home() / fallback;
}

}  // namespace

std::filesystem::path dataHome() { return fromEnv("XDG_DATA_HOME", ".local/share"); }
std::filesystem::path configHome() { return fromEnv("XDG_CONFIG_HOME", ".config"); }
std::filesystem::path classesStorePath() { return dataHome() / "korvane-rp3" / "classes.reg"; }

std::filesystem::path programDir() { return platform::programDirectory(); }

}  // namespace korvane::tool
