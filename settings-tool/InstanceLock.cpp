// SPDX-License-Identifier: MIT
#include "InstanceLock.h"

#include "platform/Paths.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace korvane::tool {

InstanceLock::InstanceLock(const std::string& name) {
  // Without a private runtime folder (someone else's folder in /tmp, say) there is
  // nowhere safe for the lock.
  const QString dir = platform::runtimeDirectory();
  if (dir.isEmpty()) {
    acquired_ = true;
    return;
  }
  const QByteArray path = QFile::encodeName(dir + QLatin1Char('/') + QString::fromStdString(name) + QStringLiteral(".lock"));
  fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) {
    acquired_ = true;
    return;
  }
  // flock belongs to the open file: it goes with the process, even after a crash.
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    acquired_ = errno != EWOULDBLOCK;
    return;
  }
  acquired_ = true;
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace korvane::tool
