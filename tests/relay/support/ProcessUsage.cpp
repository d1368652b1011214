// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "ProcessUsage.h"

#include <dirent.h>

#include <fstream>
#include <string>

#include "net/ReusedThreads.h"

Usage CurrentUsage() {
  Usage u;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (dirent* e = ::readdir(dir)) {
      if (e->d_name[0] != '.') ++u.descriptors;
    }
    ::closedir(dir);
    --u.descriptors;  // the one that read the directory
  }
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "Threads:") status >> u.threads;
    status.ignore(1 << 16, '\n');
  }
  // Threads left waiting for the next connection hold nothing of the last.
  u.threads -= static_cast<int>(IdleThreadCount());
  return u;
}

std::ostream& operator<<(std::ostream& out, const Usage& usage) {
  return out << usage.descriptors << " descriptors, " << usage.threads << " threads";
}
