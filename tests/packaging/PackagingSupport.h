// SPDX-License-Identifier: MIT
// What the packaging tests share: the five programs, running a tool for its output,
// and the files of an install tree as the package lists them.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <set>
#include <string>

namespace korvane::packaging {

namespace fs = std::filesystem;

inline const QStringList kPlayers{"KorvaneRP3LXZELTA", "KorvaneRP3LX", "KorvaneRP3LXVORNA", "KorvaneRP3LXKAMBO"};
inline const QStringList kPrograms = kPlayers + QStringList{"KorvaneRP3set"};
inline const QStringList kFileTypeIcons{"avi", "rm", "mov", "mid", "mp3", "mpg", "wav", "wma", "rv", "ra", "ram"};

struct Output {
  int exitCode = -1;
  QString text;  // standard output and error together
};

// A tool that did not finish is killed as `p` goes.
inline Output runTool(const QString& program, const QStringList& args, int timeoutMs = 60000) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, args);
  if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit) return {-1, program + " did not finish"};
  return {p.exitCode(), QString::fromUtf8(p.readAll())};
}

// Every file and link below `root` as "/usr/..." (directories left out).
inline std::set<std::string> filesBelow(const fs::path& root) {
  std::set<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (!e.is_directory() || e.is_symlink()) files.insert("/" + e.path().lexically_relative(root).string());
  return files;
}

// The entries of `a` that `b` lacks, one a line, for failure messages.
inline std::string missingFrom(const std::set<std::string>& a, const std::set<std::string>& b) {
  std::string out;
  for (const std::string& s : a)
    if (!b.count(s)) out += s + "\n";
  return out;
}

}  // namespace korvane::packaging
