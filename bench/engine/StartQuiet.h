// SPDX-License-Identifier: MIT
// The probes start the program they measure with its output away from theirs.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

// Forks and runs argv[0] with argv; its output goes to $PROBE_LOG, or nowhere. Returns the pid.
inline pid_t startQuiet(char** argv) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const char* log = std::getenv("PROBE_LOG");
  const int out = open(log ? log : "/dev/null", O_WRONLY | O_CREAT | O_APPEND, 0644);
  dup2(out, STDOUT_FILENO);
  dup2(out, STDERR_FILENO);
  execvp(argv[0], argv);
  _exit(127);
}
