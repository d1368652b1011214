// The program: start-up, the event loop and the end.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "net/TcpSocket.h"
#include "shell/Main.h"
#include "shell/Messages.h"

namespace {

void RunWindow(int& argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setWindowIcon(ApplicationIcon());
  QApplication::setApplicationName(QStringLiteral("irc-quillmere"));
  QApplication::setApplicationVersion(QStringLiteral(QUILL_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("irc-quillmere"));
  QApplication::setApplicationDisplayName(kApplicationTitle);

  auto form = std::make_unique<TForm1>();
  ShowCentred(*form);
  QApplication::exec();
  // The window goes first, and with it the tray icon and its tie to the pool.
  form.reset();
}

}  // namespace

int main(int argc, char** argv) {
  {
    SocketLibrary sockets;
    RunWindow(argc, argv);
  }
  // Relay threads may still be running and use the pool: end the process
  // without running the destructors of what they use.
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(0);
}
