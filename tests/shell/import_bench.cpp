// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// How long an import of a large proxy list takes through the window, from the
// click on Open until the list box shows every entry, against the import alone.
// Usage: shell_import_bench [lines]   (100,000 by default; the aim is 2 s at most)
#include <QApplication>
#include <QtTest>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pool/ProxyImport.h"
#include "pool/ProxyPool.h"
#include "shell/FlatButton.h"
#include "shell/LimitedEdit.h"
#include "shell/Main.h"
#include "shell/ProxyListBox.h"
#include "support/ShellTesting.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string ProxyList(int lines) {
  std::string text;
  text.reserve(static_cast<std::size_t>(lines) * 24);
  std::uint32_t state = 7300;
  for (int i = 0; i < lines; ++i) {
    state = state * 134775813u + 1;
    // Distinct addresses in no order, some with words around them.
    text += (i % 3 == 0 ? "proxy " : "") + std::to_string(10 + i % 200) + "." +
            std::to_string((i / 200) % 250) + "." + std::to_string(i / 50000) + "." +
            std::to_string(state % 250) + ":" + std::to_string(1024 + state % 60000) +
            (i % 5 == 0 ? " anonymous\r\n" : "\n");
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
  TemporaryListFile file(ProxyList(lines));

  ProxyPool alone;
  auto start = std::chrono::steady_clock::now();
  ImportProxyList(alone, file.Path());
  const double importOnly = SecondsSince(start);
  const std::size_t entries = alone.Count(lstAll);

  ProxyPool pool;
  TForm1 form(0, pool);
  form.dialogs().chooseFile = [&file] { return file.Path(); };
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) return 1;
  start = std::chrono::steady_clock::now();
  QTest::mouseClick(form.SpeedButton4, Qt::LeftButton);
  while (static_cast<std::size_t>(form.lstAll->model()->rowCount()) != entries) {
    QApplication::processEvents();
    if (SecondsSince(start) > 60) {
      std::printf("the list box did not catch up within 60 s\n");
      return 1;
    }
  }
  form.lstAll->viewport()->repaint();
  form.edtHost->repaint();
  const double throughWindow = SecondsSince(start);

  std::printf("lines: %d, entries: %zu\n", lines, entries);
  std::printf("import alone:            %.3f s\n", importOnly);
  std::printf("import through window:   %.3f s (display included; aim: at most 2 s for 100,000 lines)\n",
              throughWindow);
  return 0;
}
