// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Process-wide preparation for sockets. Linux has no library to start, but two
// of its defaults would hurt a relay: SIGPIPE kills the process on a send to a
// vanished peer, and the default soft limit of open files is far too low when
// every relayed connection holds two descriptors.
#include <signal.h>
#include <sys/resource.h>

#include "net/SocketLibrary.h"

void StartSockets() {
  // Every send already passes MSG_NOSIGNAL; ignoring the signal as well covers
  // any write that does not go through this layer.
  ::signal(SIGPIPE, SIG_IGN);

  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

// Nothing to undo: the signal disposition and the limit end with the process.
void StopSockets() {}
