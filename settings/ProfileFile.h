// SPDX-License-Identifier: MIT
// The settings-file access shared by every program: the three profile calls the
// programs rely on, with the semantics of the Windows profile functions so that a
// file written by either side reads the same on the other.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::settings {

// Reads `key` of `section` as an integer. Section and key match case-insensitively
// after trimming; the value's leading blanks and sign are followed by decimal
// digits up to the first non-digit, taken modulo 2^32 as a signed 32-bit number
// ("-1" -> -1, "42A9" -> 42, "yes" -> 0). Returns `def` when the file, section or
// key is missing, or the value is empty. Opens the file afresh on every call.
int profileInt(std::string_view section, std::string_view key, int def,
               const std::filesystem::path& file);

// Reads `key` of `section` as text: trimmed, one pair of enclosing matching quotes
// removed, cut at a NUL byte. The whole value comes back, however long. Returns
// `def` when the file, section or key is missing, or the value is empty.
std::string profileString(std::string_view section, std::string_view key,
                          std::string_view def, const std::filesystem::path& file);

// Sets `key` of `section` to `value`, creating the file (and its folder) and the
// section when missing. An existing value is replaced in place; every other byte
// of the file stays as it was. New lines end in CRLF. The new file is written
// beside the old one and renamed over it while an advisory lock on the folder is
// held, so concurrent writers never lose each other's keys and a crash never
// leaves half a file. Returns false, leaving the file unchanged, when the write
// fails or is refused: a section, key or value holding CR, LF or NUL; a section
// holding "]"; a key holding "=" or starting with ";" or "[".
bool writeProfileString(std::string_view section, std::string_view key,
                        std::string_view value, const std::filesystem::path& file);

// The same semantics on file contents in memory; the calls above are built on
// these. findProfileValue returns nullopt when the value is missing (a key line
// without "=" counts as missing); the value is decoded as profileString gives it.
std::optional<std::string> findProfileValue(std::string_view contents,
                                            std::string_view section,
                                            std::string_view key);
int parseProfileInt(std::string_view value, int def);
std::optional<std::string> applyProfileWrite(std::string_view contents,
                                             std::string_view section,
                                             std::string_view key,
                                             std::string_view value);

}  // namespace korvane::settings
