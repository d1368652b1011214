// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// A program started by a test and stopped with it, on every path out.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The full path of a program on PATH, or empty text.
std::string FindProgram(const std::string& name);

class ChildProcess {
 public:
  // Starts argv[0] (a full path) with its output sent to `logPath`.
  ChildProcess(const std::vector<std::string>& argv, const std::string& logPath);
  // SIGTERM, then SIGKILL if it lingers, then reaped.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Running();

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

// A fresh directory under the system's temporary folder, removed with its files.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};
