// SPDX-License-Identifier: MIT
// Places the programs need from the system: the per-user runtime directory where
// running instances publish themselves, and the directory of the running program.
#pragma once

#include <QString>

#include <filesystem>

namespace korvane::platform {

// $XDG_RUNTIME_DIR/korvane-rp3 when XDG_RUNTIME_DIR names an existing directory, else
// /tmp/korvane-rp3-<uid>; created with mode 0700 when missing. Returns an empty string
// when it cannot be created or is unsafe: a symlink, not a directory, owned by someone
// else, or open to group or others (anyone could then plant or reach our sockets).
QString runtimeDirectory();

// The directory of the running executable with symlinks resolved, so a program started
// through a link (say in /usr/bin) finds the files installed beside its real self. Bytes
// as the system gives them: a folder name that is not UTF-8 survives no QString.
std::filesystem::path programDirectory();

}  // namespace korvane::platform
