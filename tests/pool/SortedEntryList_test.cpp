// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "pool/SortedEntryList.h"

#include "pool/EntryBatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using Entries = std::vector<std::string>;

// The obvious model: a sorted vector, equals kept in insertion order.
class ModelList {
 public:
  std::size_t Insert(const std::string& entry) {
    auto at = std::upper_bound(entries_.begin(), entries_.end(), entry);
    const auto position = static_cast<std::size_t>(at - entries_.begin());
    entries_.insert(at, entry);
    return position;
  }
  std::optional<std::size_t> Find(const std::string& entry) const {
    auto at = std::lower_bound(entries_.begin(), entries_.end(), entry);
    if (at == entries_.end() || *at != entry) return std::nullopt;
    return static_cast<std::size_t>(at - entries_.begin());
  }
  void EraseAt(std::size_t position) {
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
  }
  const Entries& entries() const { return entries_; }

 private:
  Entries entries_;
};

Entries Filled(const Entries& in) {
  SortedEntryList list;
  for (const std::string& e : in) list.Insert(e);
  return list.ToVector();
}

TEST(SortedEntryListOrder, TextualNotNumericOrderWhateverTheInsertionOrder) {
  Entries input{"9.0.0.1:80", "10.0.0.1:80", "1.2.3.4:80"};
  std::sort(input.begin(), input.end());
  do {
    EXPECT_EQ(Filled(input), (Entries{"1.2.3.4:80", "10.0.0.1:80", "9.0.0.1:80"}));
  } while (std::next_permutation(input.begin(), input.end()));
}

TEST(SortedEntryListOrder, BytesCompareUnsignedAndCaseCounts) {
  const std::string high = "\xE9.1:80";  // a byte above 0x7F must sort after ASCII
  EXPECT_EQ(Filled({high, "a:1", "A:1", "a:", "Z:9"}), (Entries{"A:1", "Z:9", "a:", "a:1", high}));
}

TEST(SortedEntryListOrder, InsertReportsThePositionTheEntryTook) {
  SortedEntryList list;
  EXPECT_EQ(list.Insert("m"), 0u);
  EXPECT_EQ(list.Insert("z"), 1u);
  EXPECT_EQ(list.Insert("a"), 0u);
  EXPECT_EQ(list.Insert("m"), 2u);  // after the equal one
  EXPECT_EQ(list.ToVector(), (Entries{"a", "m", "m", "z"}));
}

TEST(SortedEntryListDuplicates, RemoveFirstTakesTheLowestPositionOnly) {
  SortedEntryList list;
  for (const char* e : {"1.1.1.1:80", "2.2.2.2:80", "3.3.3.3:80", "2.2.2.2:80"}) list.Insert(e);
  EXPECT_EQ(list.RemoveFirst("2.2.2.2:80"), std::optional<std::size_t>(1));
  EXPECT_EQ(list.ToVector(), (Entries{"1.1.1.1:80", "2.2.2.2:80", "3.3.3.3:80"}));
  EXPECT_EQ(list.RemoveFirst("4.4.4.4:80"), std::nullopt);
  EXPECT_EQ(list.RemoveFirst("2.2.2.2:8"), std::nullopt);  // a prefix is not the entry
  EXPECT_EQ(list.Size(), 3u);
}

TEST(SortedEntryListStorage, LongEntriesSurviveEveryMove) {
  // 22 bytes still fit in the node, 23 do not; both must behave alike.
  const std::string fits(22, 'f');
  const std::string spills(23, 'f');
  const std::string huge(5000, 'h');
  SortedEntryList list;
  for (int i = 0; i < 300; ++i) {
    list.Insert(huge + std::to_string(i));
    list.Insert(fits);
    list.Insert(spills);
  }
  EXPECT_EQ(list.Size(), 900u);
  EXPECT_EQ(list.Find(fits), std::optional<std::size_t>(0));
  EXPECT_EQ(list.Find(spills), std::optional<std::size_t>(300));
  EXPECT_EQ(list.At(600), huge + "0");
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(list.RemoveFirst(spills));
  EXPECT_FALSE(list.Contains(spills));
  EXPECT_TRUE(list.Contains(fits));
  EXPECT_EQ(list.At(list.Size() - 1), huge + "99");
}

TEST(SortedEntryListStorage, MoveLeavesTheSourceEmptyAndClearEmpties) {
  SortedEntryList a;
  for (int i = 0; i < 1000; ++i) a.Insert(std::to_string(i));
  SortedEntryList b(std::move(a));
  EXPECT_EQ(b.Size(), 1000u);
  EXPECT_TRUE(a.Empty());  // NOLINT(bugprone-use-after-move): a moved-from list is promised empty
  EXPECT_EQ(a.begin(), a.end());
  a = std::move(b);
  EXPECT_EQ(a.Size(), 1000u);
  EXPECT_TRUE(a.Contains("999"));
  a.Clear();
  EXPECT_TRUE(a.Empty());
  EXPECT_FALSE(a.Contains("999"));
  a.Insert("again");
  EXPECT_EQ(a.ToVector(), Entries{"again"});
}

// Insertions in rising and falling order split the tree at its two edges.
TEST(SortedEntryListShape, MonotoneFillAndDrainKeepPositions) {
  for (bool rising : {true, false}) {
    SortedEntryList list;
    constexpr int kCount = 20000;
    for (int i = 0; i < kCount; ++i) {
      const int k = rising ? i : kCount - 1 - i;
      char text[16];
      std::snprintf(text, sizeof text, "%06d", k);
      ASSERT_EQ(list.Insert(text), rising ? static_cast<std::size_t>(i) : 0u);
    }
    for (int i = 0; i < kCount; i += 997) {
      char text[16];
      std::snprintf(text, sizeof text, "%06d", i);
      ASSERT_EQ(list.At(static_cast<std::size_t>(i)), text);
      ASSERT_EQ(list.Find(text), std::optional<std::size_t>(static_cast<std::size_t>(i)));
    }
    // Drain from the front: the tree must shrink back to nothing.
    for (int i = 0; i < kCount; ++i) list.EraseAt(0);
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(list.begin(), list.end());
    EXPECT_EQ(list.MemoryUsage(), 0u);
  }
}

// Random operations against the model, with few distinct values so that runs
// of equal entries straddle leaves and separators.
TEST(SortedEntryListShape, RandomOperationsMatchTheModel) {
  std::mt19937 rng(20240611);
  for (int alphabet : {8, 300, 100000}) {
    SortedEntryList list;
    ModelList model;
    auto word = [&] {
      return "e" + std::to_string(std::uniform_int_distribution<int>(0, alphabet - 1)(rng));
    };
    auto check = [&] {
      ASSERT_EQ(list.Size(), model.entries().size());
      ASSERT_EQ(list.ToVector(), model.entries());
    };
    // Grow to a three-level tree, then churn, then drain to empty.
    for (int phase = 0; phase < 3; ++phase) {
      const int steps = phase == 1 ? 30000 : 25000;
      for (int step = 0; step < steps; ++step) {
        const int roll = std::uniform_int_distribution<int>(0, 99)(rng);
        const bool grow = phase == 0 ? roll < 85 : phase == 1 ? roll < 50 : roll < 10;
        if (grow) {
          const std::string w = word();
          if (roll % 3 == 0) {
            // Equal runs span leaves here: the check must look across their edges.
            ASSERT_EQ(list.InsertUnique(w), model.Find(w) ? std::nullopt : std::optional(model.Insert(w)));
          } else {
            ASSERT_EQ(list.Insert(w), model.Insert(w));
          }
        } else if (roll % 2 == 0 && !model.entries().empty()) {
          const auto position =
              std::uniform_int_distribution<std::size_t>(0, model.entries().size() - 1)(rng);
          ASSERT_EQ(list.At(position), model.entries()[position]);
          list.EraseAt(position);
          model.EraseAt(position);
        } else {
          const std::string w = word();
          const auto expected = model.Find(w);
          ASSERT_EQ(list.Find(w), expected);
          ASSERT_EQ(list.RemoveFirst(w), expected);
          if (expected) model.EraseAt(*expected);
        }
        if (step % 5000 == 0) check();
      }
      check();
    }
    while (!model.entries().empty()) {
      list.EraseAt(model.entries().size() / 2);
      model.EraseAt(model.entries().size() / 2);
    }
    EXPECT_TRUE(list.Empty());
  }
}

// A list built from a batch in one go: texts of every kind (zero and high
// bytes, prefixes of each other, inline and on the heap, long shared
// beginnings) sorted and once each, in a tree that later changes keep exact.
TEST(SortedEntryListShape, ABatchBuildsItsTextsOnceInOrder) {
  std::mt19937 rng(20261209);
  const std::string alphabet("0129.:\0\xFF", 8);
  auto text = [&] {
    std::string t(std::uniform_int_distribution<std::size_t>(0, 30)(rng), ' ');
    for (char& c : t) c = alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(rng)];
    if (std::uniform_int_distribution<int>(0, 19)(rng) == 0) t = std::string(100, '7') + t;
    return t;
  };
  EntryBatch batch;
  std::set<std::string> distinct;
  for (int i = 0; i < 60000; ++i) {
    const std::string t = text();
    batch.Add(t);
    distinct.insert(t);
  }
  SortedEntryList list = SortedEntryList::FromBatch(batch);
  EXPECT_TRUE(batch.Empty());
  ModelList model;
  for (const std::string& t : distinct) model.Insert(t);
  ASSERT_EQ(list.ToVector(), model.entries());
  for (int step = 0; step < 20000; ++step) {
    const std::string t = text();
    if (step % 3 == 0) {
      ASSERT_EQ(list.Insert(t), model.Insert(t));
    } else {
      const auto at = model.Find(t);
      ASSERT_EQ(list.RemoveFirst(t), at);
      if (at) model.EraseAt(*at);
      const auto position = std::uniform_int_distribution<std::size_t>(0, model.entries().size() - 1)(rng);
      ASSERT_EQ(list.At(position), model.entries()[position]);
    }
  }
  ASSERT_EQ(list.ToVector(), model.entries());

  // Merged into a list of twins that shares some of its texts: the twins stay,
  // a text both hold comes once, and only the others are counted as added.
  EntryBatch again;
  for (const std::string& t : distinct) again.Add(t);
  const SortedEntryList fresh = SortedEntryList::FromBatch(again);
  SortedEntryList twins;
  std::set<std::string> held;
  Entries expected;
  for (int i = 0; i < 3000; ++i) {
    const std::string t = text();
    for (int copy = 0; copy < 2; ++copy) {
      twins.Insert(t);
      expected.push_back(t);
    }
    held.insert(t);
  }
  std::size_t newcomers = 0;
  for (const std::string& t : distinct) {
    if (!held.count(t)) {
      expected.push_back(t);
      ++newcomers;
    }
  }
  std::sort(expected.begin(), expected.end());
  std::size_t added = 0;
  EXPECT_EQ(SortedEntryList::Merged(twins, fresh, added).ToVector(), expected);
  EXPECT_EQ(added, newcomers);
}

}  // namespace
