// SPDX-License-Identifier: MIT
// Makes the desktop open files the way the classes-root store says: each extension
// gets a MIME type of ours (its glob only, a sub-class of the type the system gives
// it), a desktop entry per file type, and our entry as that type's default. What it
// wrote is remembered, so that it can take away exactly that and give back what was
// there before.
#pragma once

#include "ClassesRoot.h"
#include "RunJournal.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::tool {

struct DesktopFolders {
  std::filesystem::path dataHome;    // applications/, mime/, korvane-rp3/
  std::filesystem::path configHome;  // mimeapps.list
  std::vector<std::filesystem::path> configDirs;  // lower-ranked lists
  std::vector<std::filesystem::path> dataDirs;    // installed entries, lower-ranked lists
  std::vector<std::string> desktops;              // lower-case, for <desktop>-mimeapps.list
};

// The folders from the XDG base-directory variables and $XDG_CURRENT_DESKTOP.
DesktopFolders desktopFolders();

struct DesktopOutcome {
  bool written = true;               // false: a step failed; the caller undoes the run
  std::vector<std::string> notUsed;  // extension key names the desktop would open otherwise
};

// Brings the desktop in line with the store; every file it touches goes through
// `journal`. Runs update-mime-database when our MIME package changed and waits for it.
// Then checks each extension's default the way the desktop resolves it.
DesktopOutcome followStoreOnDesktop(const ClassesRoot& store, const DesktopFolders& folders,
                                    RunJournal& journal);

// Whether the names made from an own extension (MIME type, desktop entry, icon, glob)
// can all be written: within the name limits, and no ":" (the glob files' separator).
bool extensionFitsDesktop(std::string_view extension);

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
