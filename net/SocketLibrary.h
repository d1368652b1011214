// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Start and stop of the sockets library, once per program. Starting ignores
// SIGPIPE (a send to a vanished peer must not kill the process) and raises the
// soft limit of open files to the hard limit: each relayed connection holds two.
#pragma once

void StartSockets();
void StopSockets();

// Keeps the sockets library started for its own lifetime.
class SocketLibrary {
 public:
  SocketLibrary() { StartSockets(); }
  ~SocketLibrary() { StopSockets(); }
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;
};
