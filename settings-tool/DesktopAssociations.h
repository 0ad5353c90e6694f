// SPDX-License-Identifier: MIT
// Makes the desktop open files the way the classes-root store says: a desktop
// entry per file type, the defaults in mimeapps.list, and a MIME package for
// extensions the system does not know. What it wrote is remembered, so that it
// can take away exactly that and give a previous default back.
#pragma once

#include "ClassesRoot.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::tool {

struct DesktopFolders {
  std::filesystem::path dataHome;    // applications/, mime/, korvane-rp3/
  std::filesystem::path configHome;  // mimeapps.list
};

// The folders from $XDG_DATA_HOME and $XDG_CONFIG_HOME.
DesktopFolders desktopFolders();

// Brings the desktop in line with the store. Runs update-mime-database when our
// MIME package changed; waits for it.
void followStoreOnDesktop(const ClassesRoot& store, const DesktopFolders& folders);

// The prefix of MIME types we make up for unknown extensions.
inline constexpr std::string_view kOwnMimePrefix = "application/x-korvane-rp3-";

// The desktop file ID for a file type name: "korvane-rp3-" and the lower-cased
// name, characters outside [a-z0-9-] written as "_" and two hex digits.
std::string desktopIdFor(std::string_view fileType);

// A stored command line split into its arguments. Our own form, a program in
// double quotes then "%1" in double quotes, gives the program path whole whatever
// it holds; anything else splits at blanks outside double quotes.
std::vector<std::string> commandArguments(std::string_view command);

// True when a launcher that splits Exec at blanks without quoting (xdg-open on a
// desktop it does not know) reads the word unchanged.
bool plainWord(std::string_view word);

// One Exec argument quoted by the Desktop Entry rules ("..." with \ " ` $ escaped,
// % doubled), before the escapes of a string value.
std::string execArgument(std::string_view arg);

// A desktop-entry string value: backslash, line breaks and tabs escaped.
std::string desktopString(std::string_view value);

// A word for sh inside single quotes.
std::string shellQuoted(std::string_view word);

}  // namespace korvane::tool
