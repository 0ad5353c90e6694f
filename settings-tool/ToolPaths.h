// SPDX-License-Identifier: MIT
// The per-user folders the settings tool works in, from the XDG base-directory variables.
#pragma once

#include <filesystem>

namespace korvane::tool {

// $XDG_DATA_HOME, else ~/.local/share (a relative value is ignored, as the
// base-directory rules ask).
std::filesystem::path dataHome();
// $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path configHome();
// The classes-root store: dataHome()/korvane-rp3/classes.reg.
std::filesystem::path classesStorePath();
// The folder of the running program.
std::filesystem::path programDir();

}  // namespace korvane::tool
