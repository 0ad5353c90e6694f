// SPDX-License-Identifier: MIT
// What one association run changed, so that a run failing at any step can put every
// file it touched back as it was: a run is done whole or not at all.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane::tool {

class RunJournal {
 public:
  // Remembers the file's bytes (or that it is missing) before its first change in
  // this run. A symbolic link is followed: its target is what gets written.
  std::filesystem::path keep(const std::filesystem::path& file);
  // Creates the folder and the missing ones above it, remembering those created.
  bool makeDirs(const std::filesystem::path& dir);
  // Folders this run created, outermost first.
  const std::vector<std::filesystem::path>& createdDirs() const { return dirs_; }
  // Runs after the files are back, for what is derived from them (the MIME database).
  void afterUndo(std::function<void()> step) { afterUndo_.push_back(std::move(step)); }

  // Puts every kept file back, removes the created folders, then runs the after-steps.
  void undo();

 private:
  std::vector<std::pair<std::filesystem::path, std::optional<std::string>>> files_;
  std::vector<std::filesystem::path> dirs_;
  std::vector<std::function<void()>> afterUndo_;
};

// Reads a whole file; nullopt when it cannot be read.
std::optional<std::string> readWholeFile(const std::filesystem::path& file);
// Writes a whole file beside the old one and renames it over.
bool writeWholeFile(const std::filesystem::path& file, const std::string& data);

}  // namespace korvane::tool
