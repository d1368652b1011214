// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The pool under several threads: atomic upstream, ordered notifications that
// let a view follow the lists exactly, and listeners that may call back.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "pool/EntryBatch.h"
#include "pool/ProxyPool.h"

namespace {

using namespace std::chrono_literals;

// Every entry the hammering threads use names its port in its host, so that a
// torn pair (the host of one upstream with the port of another) shows.
std::string Entry(int k) {
  return "h" + std::to_string(k) + ":" + std::to_string(k);
}

bool Consistent(const Upstream& u) {
  return u.host.empty() || u.host == "h" + std::to_string(u.port);
}

// The window's part, on a thread of its own: every change is made there, in
// the order the changing threads handed it over.
class OwnerThread : public PoolOwner {
 public:
  OwnerThread() : thread_([this] { Run(); }) {}
  ~OwnerThread() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  bool OnOwnerThread() const override { return std::this_thread::get_id() == thread_.get_id(); }
  bool RunThere(const std::function<void()>& change) override {
    bool done = false;
    std::unique_lock lock(mutex_);
    queue_.push_back([&] {
      change();
      std::lock_guard settled(mutex_);
      done = true;
      changed_.notify_all();
    });
    changed_.notify_all();
    changed_.wait(lock, [&] { return done; });
    return true;
  }
  bool Post(std::function<void()> change) override {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(change));
    }
    changed_.notify_all();
    return true;
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      std::function<void()> next = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      next();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> queue_;
  bool stopping_ = false;
  std::thread thread_;
};

// A view that follows the pool through the notifications, reading a list
// again when it changes whole, as the window does.
struct Mirror {
  // Made where the pool's changes are made (its owner's thread), so that the
  // lists read here are the ones the first change it hears applies to.
  explicit Mirror(const ProxyPool& pool) : pool(pool) {
    for (ProxyListId list : {lstAll, lstWorking, lstFailed}) lists[static_cast<std::size_t>(list)] = pool.Entries(list);
    fields = {pool.FieldText(edtHost), pool.FieldText(edtPort)};
  }
  const ProxyPool& pool;
  std::array<std::vector<std::string>, 3> lists;
  std::array<std::string, 2> fields;
  std::vector<std::string> faults;
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};

  void Apply(const PoolChange& c) {
    if (inside.fetch_add(1) != 0) overlapped = true;
    auto& list = lists[static_cast<std::size_t>(c.list)];
    switch (c.kind) {
      case PoolChange::Kind::Inserted:
        if (c.index > list.size()) {
          faults.push_back("insert past the end: " + c.text);
        } else {
          list.insert(list.begin() + static_cast<std::ptrdiff_t>(c.index), c.text);
        }
        break;
      case PoolChange::Kind::Removed:
        if (c.index >= list.size() || list[c.index] != c.text) {
          faults.push_back("removed entry not where told: " + c.text);
        } else {
          list.erase(list.begin() + static_cast<std::ptrdiff_t>(c.index));
        }
        break;
      case PoolChange::Kind::FieldText:
        fields[static_cast<std::size_t>(c.field)] = c.text;
        break;
      case PoolChange::Kind::Replacing:
        break;
      case PoolChange::Kind::Replaced:
        list = pool.Entries(c.list);
        break;
    }
    inside.fetch_sub(1);
  }
};

// One writer's share of a hammering: every kind of change the pool has.
void Hammer(ProxyPool& pool, int w, int steps) {
  std::mt19937 rng(static_cast<unsigned>(w) * 7919u + 1u);
  std::uniform_int_distribution<int> value(0, 60);
  std::uniform_int_distribution<int> action(0, 9);
  for (int step = 0; step < steps; ++step) {
    const auto list = static_cast<ProxyListId>(value(rng) % 3);
    const int k = value(rng);
    switch (action(rng)) {
      case 0: {
        // An import's shape, overlapping other threads' imports and single changes.
        EntryBatch batch;
        for (int i : {k + 2, k, k + 1, k}) batch.Add(Entry(i));
        pool.AddNewProxyEntries(list, batch);
        break;
      }
      case 1:
      case 2:
        pool.AddProxyEntry(list, Entry(k));
        break;
      case 3:
      case 4:
        pool.RemoveProxyEntry(list, Entry(k));
        break;
      case 5:
      case 6:
        pool.SelectRandomProxy();
        break;
      case 7:
        pool.SetFieldText(edtHost, "typed" + std::to_string(k));
        break;
      case 8:
        if (pool.Count(list) > 0) {
          try {
            pool.FillFieldsFromList(list, 0);
          } catch (const EListError&) {
            // Another writer emptied the list in between: a fair outcome.
          }
        }
        break;
      default:
        // A verdict's sequence: not atomic as a whole, each step is.
        pool.RemoveProxyEntry(lstAll, Entry(k));
        pool.RemoveProxyEntry(lstWorking, Entry(k));
        pool.AddProxyEntry(lstWorking, Entry(k));
        break;
    }
  }
}

// Seven threads change everything the pool has while one reader checks that
// the upstream is never torn; every change is made on the owner's thread, and
// a mirror fed there by the notifications must end equal to the pool.
TEST(ProxyPoolThreads, HammeringKeepsUpstreamWholeAndMirrorExact) {
  ProxyPool pool;
  auto owner = std::make_shared<OwnerThread>();
  pool.SetOwner(owner);
  Mirror mirror(pool);
  std::atomic<int> elsewhere{0};
  const int id = pool.AddListener([&](const PoolChange& c) {
    if (!owner->OnOwnerThread()) ++elsewhere;
    mirror.Apply(c);
  });

  constexpr int kWriters = 7;
  constexpr int kSteps = 20000;
  std::atomic<bool> writing{true};
  std::atomic<int> torn{0};
  std::atomic<long> reads{0};
  std::thread reader([&] {
    while (writing.load()) {
      if (!Consistent(pool.CurrentUpstream())) ++torn;
      ++reads;
    }
  });
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&pool, w] { Hammer(pool, w, kSteps); });
  }
  for (std::thread& t : writers) t.join();
  writing = false;
  reader.join();
  pool.RemoveListener(id);

  pool.SetOwner(nullptr);
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GT(reads.load(), 0);
  EXPECT_EQ(elsewhere.load(), 0) << "changes made off the owner's thread";
  EXPECT_FALSE(mirror.overlapped.load());
  EXPECT_TRUE(mirror.faults.empty()) << mirror.faults.front();
  for (ProxyListId list : {lstAll, lstWorking, lstFailed}) {
    EXPECT_EQ(mirror.lists[static_cast<std::size_t>(list)], pool.Entries(list));
  }
  EXPECT_EQ(mirror.fields[0], pool.FieldText(edtHost));
  EXPECT_EQ(mirror.fields[1], pool.FieldText(edtPort));
  EXPECT_GT(pool.Count(lstWorking), 0u);
}

TEST(ProxyPoolNotify, KindsIndicesAndFieldTextsAsTheyHappen) {
  ProxyPool pool;
  pool.AddProxyEntry(lstAll, "before:1");  // not heard: no listener yet
  std::vector<PoolChange> seen;
  const int id = pool.AddListener([&](const PoolChange& c) { seen.push_back(c); });
  pool.AddProxyEntry(lstAll, "a:1");
  pool.AddProxyEntry(lstFailed, "z:2");
  pool.SetFieldText(edtPort, "80");
  pool.SetFieldText(edtPort, "80");  // same text: no change to tell
  pool.Randomize(1);
  pool.SelectRandomProxy();  // first draw of seed 1 over two entries: index 0, "a:1"
  pool.RemoveProxyEntry(lstAll, "before:1");
  pool.RemoveListener(id);
  pool.AddProxyEntry(lstAll, "after:1");  // not heard: listener gone

  using K = PoolChange::Kind;
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[0].kind, K::Inserted);
  EXPECT_EQ(seen[0].list, lstAll);
  EXPECT_EQ(seen[0].index, 0u);
  EXPECT_EQ(seen[0].text, "a:1");
  EXPECT_EQ(seen[1].list, lstFailed);
  EXPECT_EQ(seen[1].index, 0u);
  EXPECT_EQ(seen[2].kind, K::FieldText);
  EXPECT_EQ(seen[2].field, edtPort);
  EXPECT_EQ(seen[2].text, "80");
  EXPECT_EQ(seen[3].kind, K::FieldText);
  EXPECT_EQ(seen[3].field, edtHost);
  EXPECT_EQ(seen[3].text, "a");
  EXPECT_EQ(seen[4].kind, K::FieldText);
  EXPECT_EQ(seen[4].field, edtPort);
  EXPECT_EQ(seen[4].text, "1");
  EXPECT_EQ(seen[5].kind, K::Removed);
  EXPECT_EQ(seen[5].index, 1u);
  EXPECT_EQ(seen[5].text, "before:1");
}

// A listener that changes the pool itself must neither deadlock nor see the
// change it caused before the one it is handling has reached everyone.
TEST(ProxyPoolNotify, ListenerMayChangeThePool) {
  ProxyPool pool;
  std::vector<std::string> first;
  std::vector<std::string> second;
  const int a = pool.AddListener([&](const PoolChange& c) {
    first.push_back(c.text);
    if (c.text == "trigger:1") {
      pool.AddProxyEntry(lstWorking, "echo:1");
      EXPECT_TRUE(pool.ContainsProxyEntry(lstWorking, "echo:1"));
    }
  });
  const int b = pool.AddListener([&](const PoolChange& c) { second.push_back(c.text); });
  pool.AddProxyEntry(lstAll, "trigger:1");
  const std::vector<std::string> expected{"trigger:1", "echo:1"};
  EXPECT_EQ(first, expected);
  EXPECT_EQ(second, expected);
  pool.RemoveListener(a);
  pool.RemoveListener(b);
}

}  // namespace

// A view attached while writers are busy, on the owner's thread where every
// change is made, starts from the lists as it reads them and must still end
// equal to the pool.
TEST(ProxyPoolThreads, MirrorAttachedMidwayOnTheOwnersThreadEndsExact) {
  ProxyPool pool;
  auto owner = std::make_shared<OwnerThread>();
  pool.SetOwner(owner);
  constexpr int kWriters = 4;
  constexpr int kSteps = 20000;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) writers.emplace_back([&pool, w] { Hammer(pool, w, kSteps); });
  while (pool.Count(lstWorking) == 0) std::this_thread::yield();

  std::unique_ptr<Mirror> mirror;
  int id = 0;
  owner->RunThere([&] {
    mirror = std::make_unique<Mirror>(pool);
    id = pool.AddListener([&](const PoolChange& c) { mirror->Apply(c); });
  });
  for (std::thread& t : writers) t.join();
  pool.RemoveListener(id);
  pool.SetOwner(nullptr);

  EXPECT_TRUE(mirror->faults.empty()) << mirror->faults.front();
  for (ProxyListId list : {lstAll, lstWorking, lstFailed}) {
    EXPECT_EQ(mirror->lists[static_cast<std::size_t>(list)], pool.Entries(list));
  }
  EXPECT_EQ(mirror->fields[0], pool.FieldText(edtHost));
  EXPECT_EQ(mirror->fields[1], pool.FieldText(edtPort));
}
