// SPDX-License-Identifier: MIT
// What the packaging tests share: the five programs, running a tool for its output,
// and the files of an install tree as the package lists them.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <set>
#include <stdlib.h>
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

// A fresh folder in /tmp, removed with everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir() {
    char tmpl[] = "/tmp/korvane-packaging-XXXXXX";
    if (::mkdtemp(tmpl)) path_ = tmpl;
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

inline Output runTool(const QString& program, const QStringList& args, int timeoutMs = 60000) {
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, args);
  Output out;
  if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit) {
    p.kill();
    p.waitForFinished(1000);
    out.text = program + " did not finish";
    return out;
  }
  out.exitCode = p.exitCode();
  out.text = QString::fromUtf8(p.readAll());
  return out;
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
