// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "pool/ProxyPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "pool/EntryBatch.h"
#include "pool/RandomGenerator.h"

// Readable failures instead of object bytes.
void PrintTo(const Upstream& u, std::ostream* os) {
  *os << '"' << u.host << "\":" << u.port;
}

namespace {

using Entries = std::vector<std::string>;

TEST(ProxyPoolLists, AddedEntriesSortTextuallyAndStayOutOfOtherLists) {
  ProxyPool pool;
  pool.AddProxyEntry(lstWorking, "9.0.0.1:80");
  pool.AddProxyEntry(lstWorking, "1.2.3.4:80");
  pool.AddProxyEntry(lstWorking, "10.0.0.1:80");
  EXPECT_EQ(pool.Entries(lstWorking), (Entries{"1.2.3.4:80", "10.0.0.1:80", "9.0.0.1:80"}));
  EXPECT_EQ(pool.EntryAt(lstWorking, 1), "10.0.0.1:80");
  EXPECT_EQ(pool.Count(lstAll), 0u);
  EXPECT_EQ(pool.Count(lstFailed), 0u);
}

TEST(ProxyPoolLists, ContainsComparesBytesExactly) {
  ProxyPool pool;
  pool.AddProxyEntry(lstAll, "1.2.3.4:80");
  pool.AddProxyEntry(lstAll, "host.Example:8080");
  EXPECT_TRUE(pool.ContainsProxyEntry(lstAll, "1.2.3.4:80"));
  EXPECT_FALSE(pool.ContainsProxyEntry(lstAll, "1.2.3.4:080"));
  EXPECT_FALSE(pool.ContainsProxyEntry(lstAll, "1.2.3.4:80 "));
  EXPECT_FALSE(pool.ContainsProxyEntry(lstAll, "host.example:8080"));
  EXPECT_FALSE(pool.ContainsProxyEntry(lstFailed, "1.2.3.4:80"));
}

TEST(ProxyPoolLists, RemoveTakesOnlyTheFirstOfTwinsAndIgnoresStrangers) {
  ProxyPool pool;
  for (const char* e : {"2.2.2.2:80", "1.1.1.1:80", "2.2.2.2:80", "3.3.3.3:80"})
    pool.AddProxyEntry(lstAll, e);
  std::vector<PoolChange> seen;
  const int id = pool.AddListener([&](const PoolChange& c) { seen.push_back(c); });
  pool.RemoveProxyEntry(lstAll, "9.9.9.9:80");
  EXPECT_TRUE(seen.empty());
  pool.RemoveProxyEntry(lstAll, "2.2.2.2:80");
  EXPECT_EQ(pool.Entries(lstAll), (Entries{"1.1.1.1:80", "2.2.2.2:80", "3.3.3.3:80"}));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, PoolChange::Kind::Removed);
  EXPECT_EQ(seen[0].index, 1u);
  EXPECT_EQ(seen[0].text, "2.2.2.2:80");
  pool.RemoveListener(id);
}

TEST(ProxyPoolLists, EntryAtOutsideTheListNamesTheIndex) {
  ProxyPool pool;
  pool.AddProxyEntry(lstAll, "1.1.1.1:80");
  try {
    pool.EntryAt(lstAll, 1);
    FAIL() << "no error for a position past the end";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (1)");
  }
}

TEST(ProxyPoolSplit, HostBeforeTheFirstColonPortTextAfterIt) {
  using Parts = std::pair<std::string, std::string>;
  EXPECT_EQ(SplitProxyEntry("10.0.0.1:8080"), (Parts{"10.0.0.1", "8080"}));
  EXPECT_EQ(SplitProxyEntry("1:2:3:4:80"), (Parts{"1", "2:3:4:80"}));
  EXPECT_EQ(SplitProxyEntry("no-colon"), (Parts{"", "no-colon"}));
  EXPECT_EQ(SplitProxyEntry(":80"), (Parts{"", "80"}));
  EXPECT_EQ(SplitProxyEntry("host:"), (Parts{"host", ""}));
  EXPECT_EQ(SplitProxyEntry(""), (Parts{"", ""}));
}

// "Set!": the port field is read leniently, the host field taken as it is.
TEST(ProxyPoolSet, PortFieldReadLenientlyHostTakenAsTyped) {
  struct Case {
    const char* portText;
    std::int32_t port;
  };
  const Case cases[] = {{"", 0},     {"80a", 80},      {"abc", 0},         {" 80", 80},
                        {"$50", 80}, {"99999", 99999}, {"123456", 123456}, {"2:3:4:80", 2}};
  ProxyPool pool;
  pool.SetFieldText(edtHost, " Proxy.Example ");
  for (const Case& c : cases) {
    pool.SetFieldText(edtPort, c.portText);
    pool.ApplyUpstream();
    EXPECT_EQ(pool.CurrentUpstream(), (Upstream{" Proxy.Example ", c.port}))
        << "port field '" << c.portText << "'";
  }
  EXPECT_EQ(pool.FieldText(edtPort), "2:3:4:80");  // applying leaves the fields alone
}

TEST(ProxyPoolSet, EmptyHostFieldClearsTheUpstream) {
  ProxyPool pool;
  pool.SetFieldText(edtHost, "1.2.3.4");
  pool.SetFieldText(edtPort, "80");
  pool.ApplyUpstream();
  EXPECT_EQ(pool.CurrentUpstream(), (Upstream{"1.2.3.4", 80}));
  pool.SetFieldText(edtHost, "");
  pool.ApplyUpstream();
  EXPECT_EQ(pool.CurrentUpstream().host, "");
}

TEST(ProxyPoolFill, SelectionFillsBothFieldsButNotTheUpstream) {
  ProxyPool pool;
  pool.AddProxyEntry(lstFailed, "1:2:3:4:80");
  pool.AddProxyEntry(lstFailed, "10.0.0.1:123456");
  // ':' sorts after '0', so "10.0.0.1:..." comes first.
  pool.FillFieldsFromList(lstFailed, 0);
  EXPECT_EQ(pool.FieldText(edtHost), "10.0.0.1");
  EXPECT_EQ(pool.FieldText(edtPort), "123456");
  EXPECT_EQ(pool.CurrentUpstream(), Upstream{});
  pool.ApplyUpstream();
  EXPECT_EQ(pool.CurrentUpstream(), (Upstream{"10.0.0.1", 123456}));

  pool.FillFieldsFromList(lstFailed, 1);  // "1:2:3:4:80"
  EXPECT_EQ(pool.FieldText(edtHost), "1");
  EXPECT_EQ(pool.FieldText(edtPort), "2:3:4:80");
  pool.ApplyUpstream();
  EXPECT_EQ(pool.CurrentUpstream(), (Upstream{"1", 2}));
}

TEST(ProxyPoolFill, NoSelectionIsAnIndexErrorAndKeepsTheFields) {
  ProxyPool pool;
  pool.AddProxyEntry(lstAll, "1.1.1.1:80");
  pool.SetFieldText(edtHost, "typed");
  pool.SetFieldText(edtPort, "81");
  for (auto [list, index, text] : {std::tuple{lstAll, -1, "List index out of bounds (-1)"},
                                   std::tuple{lstWorking, -1, "List index out of bounds (-1)"},
                                   std::tuple{lstAll, 1, "List index out of bounds (1)"}}) {
    try {
      pool.FillFieldsFromList(list, index);
      ADD_FAILURE() << "no error for index " << index;
    } catch (const EListError& e) {
      EXPECT_STREQ(e.what(), text);
    }
  }
  EXPECT_EQ(pool.FieldText(edtHost), "typed");
  EXPECT_EQ(pool.FieldText(edtPort), "81");
}

// The recurrence state := state * 134775813 + 1 (mod 2^32), index := (state * n) >> 32,
// worked by hand from seed 1 with n = 10:
//   draw 1: 1 * 134775813 + 1 = 134775814;            134775814 * 10 = 1347758140 < 2^32  -> 0
//   draw 2: 134775814 * 134775813 + 1 = 18164519904586783
//           = 4229256 * 2^32 + 3698175007              3698175007 * 10 = 36981750070;
//                                                     8 * 2^32 = 34359738368 <= it < 9 * 2^32 -> 8
//   draw 3: 3698175007 * 134775813 + 1 = 498424543184705692
//           = 116048507 * 2^32 + 870078620             870078620 * 10 = 8700786200;
//                                                     2 * 2^32 = 8589934592 <= it < 3 * 2^32 -> 2
TEST(ProxyPoolRandom, GeneratorFollowsTheRecurrence) {
  RandomGenerator random(1);
  EXPECT_EQ(random.NextIndex(10), 0u);
  EXPECT_EQ(random.State(), 134775814u);
  EXPECT_EQ(random.NextIndex(10), 8u);
  EXPECT_EQ(random.State(), 3698175007u);
  EXPECT_EQ(random.NextIndex(10), 2u);
  EXPECT_EQ(random.State(), 870078620u);
}

TEST(ProxyPoolRandom, SelectRandomProxyPicksTheDrawnIndexAndAppliesIt) {
  ProxyPool pool;
  for (int i = 0; i < 10; ++i)
    pool.AddProxyEntry(lstAll, "10.0.0." + std::to_string(i) + ":" + std::to_string(8000 + i));
  pool.Randomize(1);
  pool.SelectRandomProxy();
  EXPECT_EQ(pool.CurrentUpstream(), (Upstream{"10.0.0.0", 8000}));
  pool.SelectRandomProxy();
  EXPECT_EQ(pool.CurrentUpstream(), (Upstream{"10.0.0.8", 8008}));
  EXPECT_EQ(pool.FieldText(edtHost), "10.0.0.8");
  EXPECT_EQ(pool.FieldText(edtPort), "8008");
  pool.SelectRandomProxy();
  EXPECT_EQ(pool.CurrentUpstream(), (Upstream{"10.0.0.2", 8002}));
}

TEST(ProxyPoolRandom, EmptyListChangesNothingAndDrawsNothing) {
  ProxyPool pool;
  pool.AddProxyEntry(lstWorking, "1.1.1.1:80");
  pool.SetFieldText(edtHost, "kept");
  pool.SetFieldText(edtPort, "7");
  pool.Randomize(1);
  pool.SelectRandomProxy();
  EXPECT_EQ(pool.FieldText(edtHost), "kept");
  EXPECT_EQ(pool.CurrentUpstream(), Upstream{});
  // The failed attempt drew nothing: the next draw is still the first of seed 1.
  pool.AddProxyEntry(lstAll, "only:1");
  for (int i = 0; i < 10; ++i) pool.AddProxyEntry(lstAll, "z" + std::to_string(i) + ":1");
  pool.SelectRandomProxy();
  EXPECT_EQ(pool.CurrentUpstream(), (Upstream{"only", 1}));
}

TEST(ProxyPoolRandom, ALoneEntryIsAlwaysPicked) {
  ProxyPool pool;
  pool.AddProxyEntry(lstAll, "5.5.5.5:55");
  pool.Randomize(StartupSeed());
  for (int i = 0; i < 20; ++i) {
    pool.SetFieldText(edtHost, "x");
    pool.SelectRandomProxy();
    EXPECT_EQ(pool.CurrentUpstream(), (Upstream{"5.5.5.5", 55}));
  }
}

// An import's additions as one step, whether the batch goes into the list, the
// list into the batch or the two are merged: a text any list holds is not
// added, the list's own twins stay, and the views hear the list whole, once.
TEST(ProxyPoolLists, ABatchAddsWhatNoListHoldsInOneChange) {
  // (entries in the list before, extra texts in the batch): merged, list into
  // batch, merged, batch into list.
  for (auto [before, extra] : {std::pair{0, 0}, {0, 100}, {2, 0}, {100, 0}}) {
    ProxyPool pool;
    for (int i = 0; i < before; ++i) pool.AddProxyEntry(lstAll, "9.0.0." + std::to_string(i) + ":1");
    pool.AddProxyEntry(lstAll, "1.1.1.1:1");
    pool.AddProxyEntry(lstAll, "1.1.1.1:1");
    pool.AddProxyEntry(lstWorking, "2.2.2.2:2");
    pool.AddProxyEntry(lstFailed, "3.3.3.3:3");
    std::vector<PoolChange> heard;
    const int id = pool.AddListener([&](const PoolChange& c) { heard.push_back(c); });
    EntryBatch batch;
    for (const char* e : {"4.4.4.4:4", "1.1.1.1:1", "2.2.2.2:2", "4.4.4.4:4", "3.3.3.3:3", "0.0.0.0:0", "9.0.0.1:1"}) {
      batch.Add(e);
    }
    for (int i = 0; i < extra; ++i) batch.Add("8.0.0." + std::to_string(i) + ":8");
    const std::size_t known = before > 1 ? 1 : 0;  // 9.0.0.1:1
    const std::size_t added = 3u - known + static_cast<std::size_t>(extra);
    EXPECT_EQ(pool.AddNewProxyEntries(lstAll, batch), added) << before << " " << extra;
    pool.RemoveListener(id);
    EXPECT_TRUE(batch.Empty());
    const std::vector<std::string> all = pool.Entries(lstAll);
    EXPECT_EQ(all.size(), static_cast<std::size_t>(before) + 2u + added) << before << " " << extra;
    EXPECT_EQ(std::count(all.begin(), all.end(), "1.1.1.1:1"), 2);
    EXPECT_EQ(std::count(all.begin(), all.end(), "9.0.0.1:1"), 1);
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
    EXPECT_EQ(pool.Entries(lstWorking), std::vector<std::string>{"2.2.2.2:2"});
    EXPECT_EQ(pool.Entries(lstFailed), std::vector<std::string>{"3.3.3.3:3"});
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].kind, PoolChange::Kind::Replacing);
    EXPECT_EQ(heard[1].kind, PoolChange::Kind::Replaced);
  }
}

}  // namespace
