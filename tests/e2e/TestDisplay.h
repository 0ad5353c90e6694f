// SPDX-License-Identifier: MIT
// A private X server per test program, a window manager when a test asks, and helper
// daemons that end with the test program however it ends.
#pragma once

#include <QProcess>

#include <chrono>
#include <functional>
#include <string>

namespace korvane::testing {

// Polls `ready` every 50 ms until it holds or `timeout` passes.
bool waitFor(const std::function<bool()>& ready, std::chrono::milliseconds timeout);

// Starts a helper daemon that gets SIGTERM when this process ends, however it ends, and
// returns the first line it prints (Xvfb's -displayfd, dbus-daemon's --print-address);
// "" when it prints none within `timeout`.
std::string startHelper(QProcess& process, const QString& program, const QStringList& args,
                        std::chrono::milliseconds timeout);
// Ends it: SIGTERM, then SIGKILL after a bound.
void stopHelper(QProcess& process);

// An Xvfb of this process's own (-displayfd: no fixed numbers), set as DISPLAY; main
// stops it once the tests have run (and it ends with the process anyway). Returns an
// error text, "" on success.
std::string startPrivateDisplay();
void stopPrivateDisplay();

// openbox on the private display, waited for until it manages the screen; stopWindowManager
// ends it (windows then stand unframed again). Error text, "" on success.
std::string startWindowManager();
void stopWindowManager();

}  // namespace korvane::testing
