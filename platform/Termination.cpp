// SPDX-License-Identifier: MIT
#include "platform/Termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvane::platform {

namespace {

int wakeFds[2] = {-1, -1};

// Only async-signal-safe work here: one byte to the GUI thread, and the default action
// back in place for the next signal.
void onSignal(int sig) {
  const char byte = char(sig);
  [[maybe_unused]] ssize_t n = ::write(wakeFds[0], &byte, 1);
  std::signal(sig, SIG_DFL);
}

}  // namespace

void onTerminationRequest(std::function<void()> handler) {
  if (wakeFds[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakeFds) != 0) return;
  ::fcntl(wakeFds[0], F_SETFL, O_NONBLOCK);
  auto* notifier = new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                   [notifier, handler = std::move(handler)] {
                     char byte;
                     [[maybe_unused]] ssize_t n = ::read(wakeFds[1], &byte, 1);
                     notifier->setEnabled(false);
                     handler();
                   });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

}  // namespace korvane::platform
