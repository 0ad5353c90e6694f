// SPDX-License-Identifier: MIT
// The runtime directory with its safety checks, and the program's real directory.
#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane::platform {

QString runtimeDirectory() {
  const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
  struct stat st {};
  std::string dir;
  // The basedir rules ignore relative values; a stale variable (after su, say) falls back.
  if (xdg.startsWith('/') && ::stat(xdg.constData(), &st) == 0 && S_ISDIR(st.st_mode))
    dir = QDir::cleanPath(QFile::decodeName(xdg) + QStringLiteral("/korvane-rp3")).toStdString();
  else
    dir = "/tmp/korvane-rp3-" + std::to_string(::getuid());

  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
  // lstat, so that a symlink planted in /tmp is refused rather than followed.
  if (::lstat(dir.c_str(), &st) != 0) return {};
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0) return {};
  return QFile::decodeName(QByteArray::fromStdString(dir));
}

std::filesystem::path programDirectory() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) {
    std::string exe(buf, size_t(n));
    // The kernel marks an executable replaced on disk (an upgrade while running); its
    // directory is still the right one.
    constexpr std::string_view deleted = " (deleted)";
    if (exe.ends_with(deleted)) exe.resize(exe.size() - deleted.size());
    return std::filesystem::path(exe).parent_path();
  }
  if (QCoreApplication::instance()) {
    const QString dir = QCoreApplication::applicationDirPath();
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    return QFile::encodeName(canonical.isEmpty() ? dir : canonical).toStdString();
  }
  return {};
}

}  // namespace korvane::platform
