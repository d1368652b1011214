// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Helpers the window's tests share.
#pragma once

#include <QImage>
#include <QString>

#include "shell/TrayPresence.h"

#include <string>
#include <vector>

class TForm1;

// A file in a fresh temporary folder, removed with this object.
class TemporaryListFile {
 public:
  explicit TemporaryListFile(const std::string& contents);
  ~TemporaryListFile();
  TemporaryListFile(const TemporaryListFile&) = delete;
  TemporaryListFile& operator=(const TemporaryListFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
};

// The entries a list box of the window shows, top to bottom.
std::vector<std::string> ShownEntries(const TForm1& form, int listIndex);

// What the window hears of a desktop with an XEmbed tray; `Report` takes it away.
class ReportedTray : public TrayPresence {
 public:
  ReportedTray() : TrayPresence(Watching::Nothing) { Report(TrayKind::XEmbed, true); }
};

// The window as it is painted.
QImage FaceOf(TForm1& form);
