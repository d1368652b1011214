// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "relay/UpstreamPump.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <exception>

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Sends the whole chunk; the end of the direction when that cannot be done.
// Only the watching send leaves the blocking call, and only when the target
// has no room: the chunk then goes out as room comes.
bool SendChunk(Socket to, const char* bytes, int length, Socket watched, PumpEnd& end) {
  const int flags = MSG_NOSIGNAL | (watched ? MSG_DONTWAIT : 0);
  bool hungUp = false;
  Clock::time_point giveUpAt{};
  int sent = 0;
  while (sent < length) {
    const ssize_t n = ::send(to.fd, bytes + sent, static_cast<std::size_t>(length - sent), flags);
    if (n > 0) {
      sent += static_cast<int>(n);
      if (hungUp) giveUpAt = Clock::now() + kEndGrace;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (!watched || n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
      end = PumpEnd::TargetFailed;
      return false;
    }
    pollfd watch[2] = {{to.fd, POLLOUT, 0}, {watched.fd, POLLRDHUP, 0}};
    const int ready = ::poll(watch, hungUp ? 1 : 2, hungUp ? MillisecondsUntil(giveUpAt) : -1);
    if (ready < 0 && errno != EINTR) {
      end = PumpEnd::TargetFailed;
      return false;
    }
    if (ready == 0) {
      end = PumpEnd::SourceGone;
      return false;
    }
    if (!hungUp && ready > 0 && watch[1].revents != 0) {
      // A reset (or error) of the source ends the direction at once; its end
      // of stream leaves the target a grace to make room.
      if (watch[1].revents & (POLLERR | POLLHUP)) {
        end = PumpEnd::SourceFailed;
        return false;
      }
      hungUp = true;
      giveUpAt = Clock::now() + kEndGrace;
    }
  }
  return true;
}

}  // namespace

PumpEnd PumpBytes(Socket from, Socket to, bool watchSource) {
  char buffer[kRelayBufferSize];
  PumpEnd end = PumpEnd::EndOfStream;
  for (;;) {
    const ssize_t received = ::recv(from.fd, buffer, kRelayBufferSize, 0);
    if (received == 0) return PumpEnd::EndOfStream;
    if (received < 0) {
      if (errno == EINTR) continue;
      return PumpEnd::SourceFailed;
    }
    if (!SendChunk(to, buffer, static_cast<int>(received), watchSource ? from : NoSocket, end)) return end;
  }
}

void UpstreamPump(PumpData data) {
  switch (PumpBytes(data.upstream, data.client)) {
    case PumpEnd::EndOfStream:
      TcpShutdownSending(data.client);
      return;
    case PumpEnd::SourceFailed:
      // The client has the upstream's last bytes and then the end; its own
      // direction reads it off until it hangs up, unless it lingers.
      TcpShutdownSending(data.client);
      if (!data.clientDone->WaitWithin(kEndGrace)) TcpShutdown(data.client);
      return;
    case PumpEnd::TargetFailed:
    case PumpEnd::SourceGone:
      TcpShutdownSending(data.upstream);
      ReadOffUntilEnd(data.upstream);
      return;
  }
}

UpstreamPumpThread::UpstreamPumpThread(Socket client, Socket upstream, DirectionDone& clientDone)
    : data_{client, upstream, &clientDone} {
  if (!upstream) return;
  try {
    thread_ = SizedThread(kPumpStackBytes, [data = data_] { UpstreamPump(data); });
  } catch (const std::exception&) {
    // Out of threads or memory: the connection is not relayed, and the
    // handler lets it go without judging the proxy.
  }
}

UpstreamPumpThread::~UpstreamPumpThread() {
  if (Running()) Stop();
}

void UpstreamPumpThread::JoinUnlessStalled() {
  constexpr long kLookEveryMs = 250;
  // Most answers end within the first look: the watch, and its system call,
  // only for an upstream that is still at it then.
  if (!Running() || thread_.JoinWithin(kLookEveryMs)) return;
  DeliveryWatch delivery(data_.upstream, /*settledCounts=*/true);
  while (Running() && !thread_.JoinWithin(kLookEveryMs)) {
    if (!delivery.Moving()) Stop();
  }
}

void UpstreamPumpThread::JoinOrStop(std::chrono::milliseconds limit) {
  if (Running() && !thread_.JoinWithin(static_cast<long>(limit.count()))) Stop();
}

void UpstreamPumpThread::Stop() {
  TcpShutdown(data_.upstream);
  TcpShutdown(data_.client);
  if (Running()) thread_.Join();
}
