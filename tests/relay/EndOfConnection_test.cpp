// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The end's rules without sockets: each case a list of events at given
// moments, and what the rules must decide.
#include "relay/EndOfConnection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using ms = std::chrono::milliseconds;

constexpr RelaySide C = RelaySide::Client;
constexpr RelaySide U = RelaySide::Upstream;

// One connection's end under a clock the case moves by hand.
struct Connection {
  SteadyTime now = SteadyTime(1000h);
  const SteadyTime start = now;
  EndOfConnection end{[this] { return now; }, 60s};
  std::vector<std::string> said;
  std::optional<ms> judgedAt;
  bool reset[2] = {false, false};

  void At(ms moment) { now = start + moment; }
  EndDecision Note(EndDecision d) {
    if (d.passHalfClose) said.push_back("half-close");
    if (d.judgeAt) {
      EXPECT_FALSE(judgedAt) << "judged twice";
      judgedAt = std::chrono::duration_cast<ms>(*d.judgeAt - start);
    }
    if (d.stopPumps) said.push_back("cut");
    for (int i = 0; i < 2; ++i) {
      if (!d.reset[i]) continue;
      EXPECT_FALSE(reset[i]) << "reset twice";
      reset[i] = true;
      said.push_back(i == 0 ? "reset client" : "reset upstream");
    }
    if (d.done) said.push_back("done");
    return d;
  }
  EndDecision Look(PeerProgress client, PeerProgress upstream) { return Note(end.Look(client, upstream)); }
};

TEST(EndOfConnection, TwoOrderlyEndsCloseInOrderAndJudgeAtTheProxysEnd) {
  Connection c;
  c.At(1s);
  c.end.Moved();
  c.At(2s);
  c.Note(c.end.EndOfStream(C));
  EXPECT_FALSE(c.judgedAt) << "the client's end says nothing of the proxy";
  c.At(40s);
  c.end.Moved();
  c.At(41s);
  c.Note(c.end.EndOfStream(U));
  EXPECT_EQ(c.judgedAt, ms(41s));
  EXPECT_EQ(c.said, (std::vector<std::string>{"half-close", "half-close", "done"}));
  EXPECT_FALSE(c.reset[0] || c.reset[1]);
}

// After the proxy's half-close the client's upload goes on at a proxy that
// reads slowly: the queue toward it stays level (the other pump refills it)
// while what it acknowledges grows. That is progress, however long it takes.
TEST(EndOfConnection, ASlowSteadyReaderAfterItsHalfCloseIsNeverCut) {
  Connection c;
  c.At(1s);
  c.Note(c.end.EndOfStream(U));
  EXPECT_EQ(c.judgedAt, ms(1s));
  std::uint64_t acked = 0;
  for (ms t = 1250ms; t <= 120s; t += kLookEvery) {
    c.At(t);
    c.end.Moved();
    acked += 25'000;
    const EndDecision d = c.Look({}, {acked, 16384});
    ASSERT_FALSE(d.stopPumps) << "cut at " << t.count() << " ms";
    EXPECT_EQ(d.lookAfter, kLookEvery);
  }
  // It stops acknowledging: the grace runs from its last acknowledgement.
  c.At(122s);
  EXPECT_FALSE(c.Look({}, {acked, 16384}).stopPumps);
  c.At(123s);
  EXPECT_TRUE(c.Look({}, {acked, 16384}).stopPumps);
  EXPECT_EQ(c.judgedAt, ms(1s)) << "a later cut changes no verdict";
}

TEST(EndOfConnection, GraceAndSilenceAfterOneSideEnded) {
  struct Case {
    const char* name;
    PeerProgress client;  // at every look
    ms moveUntil;         // bytes move up to here
    ms cutAt;
  };
  // The client half-closes at 1 s; the proxy's answer goes on to it.
  for (const Case& k : {
           // Holds bytes of ours and acknowledges none: the grace.
           Case{"stalled client", {5000, 700}, 0ms, 4s},
           // Holds nothing: no grace, but the silence limit, counted from
           // the last byte moved (none here: from the start).
           Case{"silent proxy", {5000, 0}, 0ms, 60s},
           // Moving keeps it alive; the silence runs from the last move.
           Case{"quiet after talk", {5000, 0}, 30s, 90s},
       }) {
    SCOPED_TRACE(k.name);
    Connection c;
    c.At(1s);
    c.Note(c.end.EndOfStream(C));
    std::optional<ms> cut;
    std::uint64_t acked = k.client.acked;
    for (ms t = 1250ms; t <= 100s && !cut; t += kLookEvery) {
      c.At(t);
      if (t <= k.moveUntil) {
        c.end.Moved();
        acked += 100;
      }
      if (c.Look({k.moveUntil >= t ? acked : k.client.acked, k.client.held}, {}).stopPumps) cut = t;
    }
    ASSERT_TRUE(cut);
    EXPECT_EQ(*cut, k.cutAt);
    // The relay ended first: the life ends at the later of the last move and
    // the client's own end, never at the cut.
    EXPECT_EQ(c.judgedAt, std::max(k.moveUntil, ms(1s)));
  }
}

// After a cut each peer is reset once it holds nothing of ours, or after
// the grace without an acknowledgement; a peer that reset is not waited for.
TEST(EndOfConnection, ResetsFollowDeliveryAndNeverWaitForAPeerThatReset) {
  {
    Connection c;
    c.At(5s);
    c.end.Moved();
    c.At(6s);
    EndDecision d = c.Note(c.end.Failed(C));
    EXPECT_TRUE(d.stopPumps);
    EXPECT_EQ(d.lookAfter, ms(0)) << "the resets are looked at at once";
    EXPECT_EQ(c.judgedAt, ms(6s)) << "a client's reset ends the life there";
    // The client's queue never empties after its reset; nobody waits for it.
    c.Look({0, 900}, {1000, 300});
    EXPECT_TRUE(c.reset[0]);
    EXPECT_FALSE(c.reset[1]);
    c.At(6100ms);
    d = c.Look({0, 900}, {1300, 0});
    EXPECT_TRUE(c.reset[1]);
    EXPECT_TRUE(d.done);
  }
  {
    Connection c;
    c.At(2s);
    c.Note(c.end.Failed(U));
    EXPECT_EQ(c.judgedAt, ms(2s));
    // The client takes its last bytes slowly, then not at all.
    c.At(4s);
    c.Look({100, 5000}, {});
    EXPECT_TRUE(c.reset[1]);
    c.At(6s);
    c.Look({200, 4900}, {});
    c.At(8900ms);
    EXPECT_FALSE(c.Look({200, 4900}, {}).done);
    c.At(9s);
    EXPECT_TRUE(c.Look({200, 4900}, {}).done);
    EXPECT_TRUE(c.reset[0]);
  }
}

TEST(EndOfConnection, TheLifesMomentWhenTheRelayEndsFirst) {
  // Cut by the relay with both sides open: the last byte moved.
  Connection quiet;
  quiet.At(7s);
  quiet.end.Moved();
  quiet.At(50s);
  quiet.Note(quiet.end.Cut());
  EXPECT_EQ(quiet.judgedAt, ms(7s));
  // The proxy's hang-up seen while a send waits judges at once, and what
  // follows changes nothing.
  Connection hungUp;
  hungUp.At(3s);
  hungUp.Note(hungUp.end.HangUpSeen(U));
  EXPECT_EQ(hungUp.judgedAt, ms(3s));
  hungUp.At(9s);
  hungUp.Note(hungUp.end.EndOfStream(U));
  hungUp.Note(hungUp.end.Failed(C));
  EXPECT_EQ(hungUp.judgedAt, ms(3s));
  EXPECT_TRUE(hungUp.end.IsCut());
  // Events after the end are no news.
  EndDecision after = hungUp.end.EndOfStream(C);
  EXPECT_FALSE(after.passHalfClose || after.judgeAt || after.stopPumps);
}

}  // namespace
