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

QString programDirectory() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) {
    QByteArray exe(buf, n);
    // The kernel marks an executable replaced on disk (an upgrade while running); its
    // directory is still the right one.
    if (exe.endsWith(" (deleted)")) exe.chop(10);
    return QFileInfo(QFile::decodeName(exe)).absolutePath();
  }
  if (QCoreApplication::instance()) {
    const QString dir = QCoreApplication::applicationDirPath();
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    return canonical.isEmpty() ? dir : canonical;
  }
  return {};
}

}  // namespace korvane::platform
