// SPDX-License-Identifier: MIT
#include "RunJournal.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>

namespace korvane::tool {
namespace fs = std::filesystem;

std::optional<std::string> readWholeFile(const fs::path& file) {
  QFile f(QString::fromStdString(file.string()));
  if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
  return f.readAll().toStdString();
}

bool writeWholeFile(const fs::path& file, const std::string& data) {
  QSaveFile f(QString::fromStdString(file.string()));
  if (!f.open(QIODevice::WriteOnly)) return false;
  f.write(data.data(), qint64(data.size()));
  return f.commit();
}

fs::path RunJournal::keep(const fs::path& file) {
  std::error_code ec;
  fs::path target = file;
  if (fs::is_symlink(fs::symlink_status(file, ec))) target = fs::weakly_canonical(file, ec);
  auto known = std::find_if(files_.begin(), files_.end(), [&](const auto& f) { return f.first == target; });
  if (known == files_.end()) files_.emplace_back(target, readWholeFile(target));
  return target;
}

bool RunJournal::makeDirs(const fs::path& dir) {
  std::error_code ec;
  std::vector<fs::path> missing;
  for (fs::path d = dir; !d.empty() && !fs::exists(d, ec); d = d.parent_path()) {
    missing.push_back(d);
    if (d == d.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!fs::create_directory(*it, ec) && !fs::is_directory(*it)) return false;
    dirs_.push_back(*it);
  }
  return fs::is_directory(dir, ec);
}

void RunJournal::undo() {
  std::error_code ec;
  for (auto it = files_.rbegin(); it != files_.rend(); ++it) {
    if (!it->second) {
      fs::remove(it->first, ec);
      continue;
    }
    fs::create_directories(it->first.parent_path(), ec);
    writeWholeFile(it->first, *it->second);
  }
  // Everything inside a folder this run created came from this run.
  for (auto it = dirs_.rbegin(); it != dirs_.rend(); ++it) fs::remove_all(*it, ec);
  for (auto& step : afterUndo_) step();
  files_.clear();
  dirs_.clear();
  afterUndo_.clear();
}

}  // namespace korvane::tool
