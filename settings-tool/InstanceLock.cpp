// SPDX-License-Identifier: MIT
#include "InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane::tool {

std::filesystem::path runtimeDir() {
  std::filesystem::path dir;
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg && *xdg == '/')
    dir = std::filesystem::path(xdg) / "korvane-rp3";
  else
    dir = "/tmp/korvane-rp3-" + std::to_string(::getuid());
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
  struct stat st {};
  // lstat: a symbolic link planted in /tmp is not our folder.
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return {};
  if ((st.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) != 0) return {};
  return dir;
}

InstanceLock::InstanceLock(const std::string& name) {
  std::filesystem::path dir = runtimeDir();
  if (dir.empty()) {
    acquired_ = true;
    return;
  }
  fd_ = ::open((dir / (name + ".lock")).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
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
