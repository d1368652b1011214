// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "ChildProcess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

int RunInChild(const std::function<int()>& body, unsigned seconds) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    ::alarm(seconds);
    // _exit: the child must not run the parent's exit handlers or flush its
    // test output a second time.
    ::_exit(body());
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
