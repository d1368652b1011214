// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "relay/EndOfConnection.h"

#include <algorithm>
#include <utility>

EndOfConnection::EndOfConnection(Clock clock, std::chrono::milliseconds silenceLimit)
    : clock_(std::move(clock)), silenceLimit_(silenceLimit), lastMove_(clock_()) {}

void EndOfConnection::Moved() {
  lastMove_ = clock_();
}

EndDecision EndOfConnection::EndOfStream(RelaySide side) {
  EndDecision decision;
  // Also what a pump woken by the cut reads.
  if (cut_ || done_) return decision;
  const SteadyTime now = clock_();
  directionEnded_[Index(side)] = true;
  decision.passHalfClose = true;
  SideEnded(side, now, decision);
  if (directionEnded_[0] && directionEnded_[1]) {
    done_ = true;
    decision.done = true;
  } else {
    decision.lookAfter = kLookEvery;
  }
  return decision;
}

EndDecision EndOfConnection::HangUpSeen(RelaySide side) {
  EndDecision decision;
  if (cut_ || done_) return decision;
  const SteadyTime now = clock_();
  SideEnded(side, now, decision);
  decision.lookAfter = kLookEvery;
  return decision;
}

EndDecision EndOfConnection::Failed(RelaySide side) {
  EndDecision decision;
  if (done_) return decision;
  // Nothing more goes to it, so nothing is waited for.
  peers_[Index(side)].failed = true;
  if (cut_) return decision;
  const SteadyTime now = clock_();
  SideEnded(side, now, decision);
  CutAt(now, decision);
  return decision;
}

EndDecision EndOfConnection::Cut() {
  EndDecision decision;
  if (!cut_ && !done_) CutAt(clock_(), decision);
  return decision;
}

EndDecision EndOfConnection::Look(PeerProgress client, PeerProgress upstream) {
  EndDecision decision;
  if (done_) return decision;
  const SteadyTime now = clock_();
  const PeerProgress peers[2] = {client, upstream};
  if (cut_) {
    LookWhileDelivering(now, peers, decision);
  } else if (peers_[0].ended || peers_[1].ended) {
    LookWhileHalfClosed(now, peers, decision);
  }
  // While both sides are open no rule of time applies: a quiet connection is
  // an IRC connection, and it may stay for days.
  return decision;
}

void EndOfConnection::SideEnded(RelaySide side, SteadyTime now, EndDecision& decision) {
  Peer& peer = peers_[Index(side)];
  if (peer.ended) return;
  peer.ended = now;
  peer.progress = now;
  // The proxy has shown all it will: the lists need not wait for the client.
  if (side == RelaySide::Upstream) Judge(now, decision);
}

void EndOfConnection::CutAt(SteadyTime now, EndDecision& decision) {
  cut_ = true;
  decision.stopPumps = true;
  // The relay ends first: never a moment after a wait of its own, so that
  // neither the grace nor the silence limit lengthens a life, nor a client
  // that lingers after the last byte.
  const std::optional<SteadyTime>& clientEnd = peers_[Index(RelaySide::Client)].ended;
  Judge(clientEnd ? std::max(lastMove_, *clientEnd) : lastMove_, decision);
  for (Peer& peer : peers_) {
    peer.acked.reset();
    peer.progress = now;
  }
  decision.lookAfter = std::chrono::milliseconds(0);
}

void EndOfConnection::Judge(SteadyTime moment, EndDecision& decision) {
  if (std::exchange(judged_, true)) return;
  decision.judgeAt = moment;
}

void EndOfConnection::LookWhileHalfClosed(SteadyTime now, const PeerProgress (&peers)[2], EndDecision& decision) {
  if (now - lastMove_ >= silenceLimit_) {
    CutAt(now, decision);
    return;
  }
  for (const RelaySide side : {RelaySide::Client, RelaySide::Upstream}) {
    Peer& peer = peers_[Index(side)];
    // Only a side that has ended, while bytes still go toward it.
    if (!peer.ended || directionEnded_[Index(OtherSide(side))]) continue;
    const PeerProgress& seen = peers[Index(side)];
    // Progress is what the peer acknowledges, not how long the queue is: the
    // other pump refills that queue as fast as a slow reader empties it.
    if (seen.held == 0 || (peer.acked && seen.acked > *peer.acked)) peer.progress = now;
    peer.acked = seen.acked;
    if (now - peer.progress >= kEndGrace) {
      CutAt(now, decision);
      return;
    }
  }
  decision.lookAfter = kLookEvery;
}

void EndOfConnection::LookWhileDelivering(SteadyTime now, const PeerProgress (&peers)[2], EndDecision& decision) {
  bool allReset = true;
  for (const RelaySide side : {RelaySide::Client, RelaySide::Upstream}) {
    Peer& peer = peers_[Index(side)];
    if (peer.reset) continue;
    const PeerProgress& seen = peers[Index(side)];
    bool resetNow = peer.failed || seen.held == 0;
    if (!resetNow) {
      if (peer.acked && seen.acked > *peer.acked) peer.progress = now;
      peer.acked = seen.acked;
      resetNow = now - peer.progress >= kEndGrace;
    }
    if (resetNow) {
      peer.reset = true;
      decision.reset[Index(side)] = true;
    } else {
      allReset = false;
    }
  }
  if (allReset) {
    done_ = true;
    decision.done = true;
    return;
  }
  decision.lookAfter = deliveryPause_;
  deliveryPause_ = std::min(deliveryPause_ * 2, kLookEvery);
}
