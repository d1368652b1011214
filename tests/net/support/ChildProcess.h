// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Runs a check in a forked child, for what must not touch the test process:
// signal dispositions, descriptor limits, a process that may die.
#pragma once

#include <functional>

// The child's exit code (the body's result), or 128 + the signal that ended it.
// The child is killed after `seconds`, so a hang shows up as 128 + SIGALRM.
int RunInChild(const std::function<int()>& body, unsigned seconds = 20);
