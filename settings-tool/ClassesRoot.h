// SPDX-License-Identifier: MIT
// The per-user classes-root store: the file associations the settings tool writes,
// kept as a registry export text file (REGEDIT4) under $XDG_DATA_HOME/korvane-rp3/.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::tool {

// Key paths are relative to HKEY_CLASSES_ROOT, levels separated by "\", and match
// case-insensitively (ASCII) as registry keys do; a key keeps the spelling it was
// created with.
class ClassesRoot {
 public:
  // The store's text; a missing file is an empty store. Values other than the
  // default one are kept as their lines, untouched.
  static ClassesRoot parse(std::string_view text);
  static ClassesRoot load(const std::filesystem::path& file);

  std::string text() const;
  // Writes the file beside the old one and renames it over, creating the folder. An
  // empty store is no file: a header alone would only be a trace.
  bool save(const std::filesystem::path& file) const;

  // Creates the key and every missing level above it; an existing key is opened
  // and keeps its values and subkeys.
  void createKey(std::string_view path);
  // Sets the key's default value, creating the key when missing.
  void setDefaultValue(std::string_view path, std::string_view value);
  // Deletes the key with all its values and subkeys; a missing key is no error.
  void deleteTree(std::string_view path);

  bool hasKey(std::string_view path) const;
  std::optional<std::string> defaultValue(std::string_view path) const;
  // The keys directly under the root, in store order.
  std::vector<std::string> rootKeys() const;
  // Every key path, parents before children.
  std::vector<std::string> keys() const;

 private:
  struct Key {
    std::string path;                         // as first created
    std::optional<std::string> defaultValue;  // "@" value
    std::vector<std::string> otherLines;      // named values, verbatim
  };
  struct PathLess {
    bool operator()(const std::string& a, const std::string& b) const;
  };
  std::map<std::string, Key, PathLess> keys_;
};

}  // namespace korvane::tool
