// SPDX-License-Identifier: MIT
// A private X server per test program, a window manager when a test asks, and helper
// daemons that end with the test program however it ends.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace korvane::testing {

// Polls `ready` every 50 ms until it holds or `timeout` passes.
bool waitFor(const std::function<bool()>& ready, std::chrono::milliseconds timeout);

// Starts `argv` with the write end of a pipe as `fd` (none when negative) and returns the
// first line the child writes there (Xvfb's -displayfd, dbus-daemon's --print-address). The
// child gets SIGTERM when this process ends. "" on failure or after `timeout`; `pid` is set
// when it started.
std::string spawnAndReadLine(const std::vector<std::string>& argv, int fd, long& pid,
                             std::chrono::milliseconds timeout);

// Ends a child started above (SIGTERM, then SIGKILL after a bound) and reaps it.
void stopChild(long& pid);

// An Xvfb of this process's own (-displayfd: no fixed numbers), set as DISPLAY. Ends with
// the process. Returns an error text, "" on success.
std::string startPrivateDisplay();

// openbox on the private display, waited for until it manages the screen; stopWindowManager
// ends it (windows then stand unframed again). Error text, "" on success.
std::string startWindowManager();
void stopWindowManager();

}  // namespace korvane::testing
