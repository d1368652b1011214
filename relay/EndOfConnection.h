// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// Every rule of how a relayed connection ends, in one plain object: no
// sockets, no threads, a clock of the caller's. The pumps tell it what they
// see (bytes moved, a side's end of stream, a reset or failed send, a look at
// what each peer has acknowledged); it answers what to do.
//
// An end of stream goes on as a half-close, and the other direction runs for
// as long as it moves. Two orderly directions close in order. Anything else
// reaches both peers as a reset, each after what the relay holds for it is
// delivered, so that neither takes a cut stream for a whole one; a peer that
// reset or failed gets nothing more and is not waited for. Once a side has
// ended, the connection is cut after the silence limit with nothing moved, or
// when that side takes none of our bytes for the grace. The proxy is judged
// once, at the moment its side ended, or, when the relay ends first, at the
// later of the last byte moved and the client's own end.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

using SteadyTime = std::chrono::steady_clock::time_point;

// How long a peer that holds bytes of ours may go without acknowledging any:
// after its own side ended, and before the reset that follows a cut.
inline constexpr std::chrono::milliseconds kEndGrace{3000};
// Once one side has ended its stream, how long nothing may move either way.
inline constexpr std::chrono::milliseconds kHalfClosedSilence{60'000};
// How often the peers are looked at while the rules above may apply.
inline constexpr std::chrono::milliseconds kLookEvery{250};

enum class RelaySide { Client, Upstream };

constexpr RelaySide OtherSide(RelaySide side) {
  return side == RelaySide::Client ? RelaySide::Upstream : RelaySide::Client;
}

// What the system tells of one peer at a look.
struct PeerProgress {
  // Bytes the peer has acknowledged since the connection opened.
  std::uint64_t acked = 0;
  // Bytes sent toward it that it has not acknowledged yet.
  std::uint64_t held = 0;
};

// What to do now. Several parts may be set; they go in this order.
struct EndDecision {
  // Shut the sending toward the peer opposite the event's side.
  bool passHalfClose = false;
  // Judge the proxy; its connection's life ended at this moment.
  std::optional<SteadyTime> judgeAt;
  // The connection is cut: both pumps stop receiving and sending.
  bool stopPumps = false;
  // Reset these peers now (index: client 0, upstream 1).
  bool reset[2] = {false, false};
  // Nothing is left to do: the sockets not reset close in order.
  bool done = false;
  // The next look (Look) is due this long from now.
  std::optional<std::chrono::milliseconds> lookAfter;
};

class EndOfConnection {
 public:
  using Clock = std::function<SteadyTime()>;

  explicit EndOfConnection(Clock clock, std::chrono::milliseconds silenceLimit = kHalfClosedSilence);

  // Bytes went on to a peer.
  void Moved();
  // The direction from `side` read its end of stream.
  EndDecision EndOfStream(RelaySide side);
  // `side` hung up, seen while the relay waited to send it more; its
  // direction has yet to read the end.
  EndDecision HangUpSeen(RelaySide side);
  // `side` reset, or a send to it failed.
  EndDecision Failed(RelaySide side);
  // The relay ends the connection itself.
  EndDecision Cut();
  EndDecision Look(PeerProgress client, PeerProgress upstream);

  bool IsCut() const { return cut_; }
  bool IsDone() const { return done_; }
  bool DirectionEnded(RelaySide source) const { return directionEnded_[Index(source)]; }

 private:
  static int Index(RelaySide side) { return side == RelaySide::Client ? 0 : 1; }
  // Notes that `side` has ended at `now`; the proxy's end judges it.
  void SideEnded(RelaySide side, SteadyTime now, EndDecision& decision);
  void CutAt(SteadyTime now, EndDecision& decision);
  void Judge(SteadyTime moment, EndDecision& decision);
  // While running with a side ended: the silence limit and the grace.
  void LookWhileHalfClosed(SteadyTime now, const PeerProgress (&peers)[2], EndDecision& decision);
  // After a cut: each peer's reset once it holds nothing of ours, or has
  // acknowledged nothing for the grace.
  void LookWhileDelivering(SteadyTime now, const PeerProgress (&peers)[2], EndDecision& decision);

  struct Peer {
    std::optional<SteadyTime> ended;
    bool failed = false;
    bool reset = false;
    std::optional<std::uint64_t> acked;
    SteadyTime progress{};
  };

  const Clock clock_;
  const std::chrono::milliseconds silenceLimit_;
  SteadyTime lastMove_;
  Peer peers_[2];
  bool directionEnded_[2] = {false, false};
  bool cut_ = false;
  bool judged_ = false;
  bool done_ = false;
  // Delivery is looked at often at first: most peers take the last bytes at once.
  std::chrono::milliseconds deliveryPause_{5};
};
