// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "support/ShellTesting.h"

#include <stdlib.h>
#include <unistd.h>
#include <QWidget>

#include <fstream>
#include <stdexcept>

#include "shell/Main.h"
#include "shell/ProxyListBox.h"

TemporaryListFile::TemporaryListFile(const std::string& contents) {
  std::string pattern = "/tmp/quill-shell-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder");
  folder_ = pattern;
  path_ = folder_ + "/proxies.txt";
  std::ofstream(path_, std::ios::binary) << contents;
}

TemporaryListFile::~TemporaryListFile() {
  unlink(path_.c_str());
  rmdir(folder_.c_str());
}

std::vector<std::string> ShownEntries(const TForm1& form, int listIndex) {
  const ProxyListBox* lists[] = {form.lstAll, form.lstWorking, form.lstFailed};
  const ProxyListModel* model = lists[listIndex]->ListModel();
  std::vector<std::string> entries;
  for (int row = 0; row < model->rowCount(); ++row) entries.emplace_back(model->EntryAt(row));
  return entries;
}

QImage FaceOf(TForm1& form) {
  return form.grab().toImage().convertToFormat(QImage::Format_RGB32);
}
