// SPDX-License-Identifier: MIT
// Where kvnset.ini lives: beside the programs, or per user for a system-wide install.
#pragma once

#include <filesystem>

namespace korvane::settings {

// The settings file for programs in `programDir`: programDir + "/" + "kvnset.ini",
// unless that folder is not writable for the user and holds no kvnset.ini; then
// $XDG_CONFIG_HOME/korvane-rp3/kvnset.ini (default ~/.config). Every program of one
// folder applies the same rule, so they always share one file.
std::filesystem::path settingsFilePath(const std::filesystem::path& programDir);

// The same rule with the folder's writability given, for tests that run as root.
std::filesystem::path settingsFilePath(const std::filesystem::path& programDir,
                                       bool programDirWritable);

}  // namespace korvane::settings
