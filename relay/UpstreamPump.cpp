#include "relay/UpstreamPump.h"

#include <exception>

void PumpBytes(Socket from, Socket to) {
  char buffer[kRelayBufferSize];
  for (;;) {
    const int received = TcpReceive(from, buffer, kRelayBufferSize);
    if (received == 0) return;
    if (TcpSend(to, buffer, received) == 0) return;
  }
}

void UpstreamPump(PumpData data) {
  PumpBytes(data.upstream, data.client);
  TcpShutdown(data.upstream);
  TcpShutdown(data.client);
}

UpstreamPumpThread::UpstreamPumpThread(Socket client, Socket upstream) : data_{client, upstream} {
  if (!upstream) return;
  try {
    thread_ = SizedThread(kPumpStackBytes, [data = data_] { UpstreamPump(data); });
  } catch (const std::exception&) {
    // Out of threads or memory: the connection is not relayed, and the
    // handler lets it go without judging the proxy.
  }
}

UpstreamPumpThread::~UpstreamPumpThread() {
  TcpShutdown(data_.upstream);
  TcpShutdown(data_.client);
  if (thread_.Joinable()) thread_.Join();
}
