// The program: start-up, the event loop and the end.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "net/TcpSocket.h"
#include "shell/DisplayChoice.h"
#include "shell/Main.h"

namespace {

void RunWindow(int& argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setWindowIcon(ApplicationIcon());
  QApplication::setApplicationName(QStringLiteral("irc-quillmere"));
  QApplication::setApplicationVersion(QStringLiteral(QUILL_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("irc-quillmere"));

  auto form = std::make_unique<TForm1>();
  ShowCentred(*form);
  QApplication::exec();
  // The window goes first, and with it the tray icon and its tie to the pool.
  form.reset();
}

}  // namespace

int main(int argc, char** argv) {
  if (const std::string missing = ChooseDisplay(argc, argv); !missing.empty()) {
    std::fprintf(stderr, "irc-quillmere: %s\n", missing.c_str());
    return 1;
  }
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
