// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The program: start-up, the event loop and the end.
#include <QApplication>
#include <QSettings>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "net/TcpSocket.h"
#include "shell/DisplayChoice.h"
#include "shell/EndSignals.h"
#include "shell/Main.h"
#include "shell/Messages.h"
#include "shell/SingleInstance.h"

namespace {

// The exit status: 0, or 1 when the relay could not listen or a running copy
// does not answer.
int RunWindow(int& argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setWindowIcon(ApplicationIcon());
  QApplication::setApplicationName(QStringLiteral("irc-quillmere"));
  QApplication::setApplicationVersion(QStringLiteral(QUILL_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("irc-quillmere"));
  // The program stores nothing between runs, yet Qt's own file dialog keeps
  // its history and last folder in the user's QtProject.conf. Pointed below a
  // file, that store can be neither read nor made; the window keeps the last
  // folder for the run itself.
  for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
    QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
  }

  // A second start shows the first copy's window instead of a second one.
  const SingleInstance::Claimed only = SingleInstance::Claim();
  if (only.handedOver) return 0;
  if (only.silentCopy != 0) {
    const QString text = SilentCopyText(only.silentCopy);
    std::fprintf(stderr, "irc-quillmere: %s\n", text.toLocal8Bit().constData());
    ShowErrorBox(nullptr, text);
    return 1;
  }

  const EndSignals endSignals;
  auto form = std::make_unique<TForm1>();
  if (!form->RelayFailure().isEmpty()) {
    // Said on standard error as well, for a start from a terminal or a session log.
    std::fprintf(stderr, "irc-quillmere: %s\n", form->RelayFailure().toLocal8Bit().constData());
    ShowErrorBox(nullptr, form->RelayFailure());
    return 1;
  }
  if (only.guard) {
    QObject::connect(only.guard.get(), &SingleInstance::ShowRequested, form.get(), &TForm1::ShowFromElsewhere);
  }
  ShowCentred(*form);
  QApplication::exec();
  // The window goes first, and with it the tray icon and its tie to the pool.
  form.reset();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A list view of a million rows keeps arrays of a few MiB that it frees and
  // makes again at each relayout. With glibc's sliding threshold, blocks of
  // that size land in the heap after the first such free and keep its top
  // from going back to the system; fixed thresholds give each its own
  // mapping, returned when freed (4 MiB less after a million-line import).
  ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  ::mallopt(M_TRIM_THRESHOLD, 128 * 1024);
  if (const std::string missing = ChooseDisplay(argc, argv); !missing.empty()) {
    std::fprintf(stderr, "irc-quillmere: %s\n", missing.c_str());
    return 1;
  }
  // However the process ends (here, or where Qt calls exit when the X
  // server goes), the connections still relayed reach their peers as resets.
  std::atexit(ResetConnectionsAtExit);
  int status;
  {
    SocketLibrary sockets;
    status = RunWindow(argc, argv);
  }
  // Relay threads may still be running and use the pool: end the process
  // without running the destructors of what they use, and cut what they relay.
  ResetConnectionsAtExit();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}
