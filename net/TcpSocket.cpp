// Blocking IPv4 TCP over plain descriptors. Every failure ends in NoSocket or
// 0 and never in an exception: the callers are relay threads that have no one
// to report to.
#include "net/TcpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

Socket NewStreamSocket() {
  // Close-on-exec keeps relayed connections out of any child process the
  // program (or a test) starts.
  return Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
}

// A connect interrupted by a signal goes on in the background; waiting for it
// here keeps TcpConnect a plain blocking call.
bool FinishInterruptedConnect(int fd) {
  pollfd watch{fd, POLLOUT, 0};
  int ready;
  do {
    ready = ::poll(&watch, 1, -1);
  } while (ready < 0 && errno == EINTR);
  if (ready != 1) return false;
  int error = 0;
  socklen_t length = sizeof error;
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

}  // namespace

OwnedSocket& OwnedSocket::operator=(OwnedSocket&& other) noexcept {
  if (this != &other) {
    TcpClose(socket_);
    socket_ = other.Release();
  }
  return *this;
}

OwnedSocket::~OwnedSocket() {
  TcpClose(socket_);
}

Socket OwnedSocket::Release() {
  const Socket kept = socket_;
  socket_ = NoSocket;
  return kept;
}

Socket TcpConnect(const std::string& host, std::int32_t port) {
  // An address that cannot be resolved is not worth a descriptor, nor a
  // connect to the all-ones address that inet_addr leaves behind.
  const sockaddr_in address = FillAddress(host, port);
  if (address.sin_addr.s_addr == INADDR_NONE) return NoSocket;

  const Socket s = NewStreamSocket();
  if (!s) return NoSocket;
  if (::connect(s.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINTR || !FinishInterruptedConnect(s.fd)) {
      ::close(s.fd);
      return NoSocket;
    }
  }
  return s;
}

int TcpSend(Socket socket, const void* buffer, int length) {
  if (!socket || buffer == nullptr || length <= 0) return 0;
  // A blocking send may still stop short (a signal, a send timeout); the relay
  // would lose the rest of the chunk, so the loop goes on until all is out.
  const auto* bytes = static_cast<const char*>(buffer);
  int sent = 0;
  while (sent < length) {
    const ssize_t n = ::send(socket.fd, bytes + sent, static_cast<std::size_t>(length - sent), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    sent += static_cast<int>(n);
  }
  return sent;
}

int TcpReceive(Socket socket, void* buffer, int size) {
  if (!socket || buffer == nullptr || size <= 0) return 0;
  // A signal is no end of stream: reporting it as 0 would end the relay.
  ssize_t n;
  do {
    n = ::recv(socket.fd, buffer, static_cast<std::size_t>(size), 0);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? 0 : static_cast<int>(n);
}

void TcpShutdown(Socket socket) {
  if (socket) ::shutdown(socket.fd, SHUT_RDWR);
}

void TcpSendAtOnce(Socket socket) {
  const int on = 1;
  if (socket) ::setsockopt(socket.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void TcpClose(Socket socket) {
  if (!socket) return;
  ::shutdown(socket.fd, SHUT_RDWR);
  ::close(socket.fd);
}

Socket TcpListen(std::int32_t port) {
  const Socket s = NewStreamSocket();
  if (!s) return NoSocket;
  // Without address reuse a restart right after a busy run could not listen
  // for a minute (connections in TIME_WAIT). Linux still refuses the option
  // while another socket listens on the port.
  const int reuse = 1;
  const sockaddr_in address = FillAddress("", port);
  if (::setsockopt(s.fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
      ::bind(s.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s.fd, 5) != 0) {
    ::close(s.fd);
    return NoSocket;
  }
  return s;
}

std::int32_t LocalPort(Socket socket) {
  if (!socket) return 0;
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(socket.fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      address.sin_family != AF_INET) {
    return 0;
  }
  return ntohs(address.sin_port);
}
