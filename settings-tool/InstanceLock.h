// SPDX-License-Identifier: MIT
// Keeps the settings tool to one instance per user: a lock file in the per-user
// runtime folder, held for the life of the process.
#pragma once

#include <string>

namespace korvane::tool {

class InstanceLock {
 public:
  // Tries to take the lock named `name` in the players' runtime folder; never waits.
  explicit InstanceLock(const std::string& name);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // False only when another process holds the lock. Without a usable runtime
  // folder the tool still starts: a second window is better than none.
  bool acquired() const { return acquired_; }

 private:
  int fd_ = -1;
  bool acquired_ = false;
};

}  // namespace korvane::tool
