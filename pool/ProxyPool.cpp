// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
#include "pool/ProxyPool.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>

#include "net/TcpSocket.h"
#include "pool/EntryBatch.h"
#include "pool/RandomGenerator.h"
#include "pool/SortedEntryList.h"

std::pair<std::string, std::string> SplitProxyEntry(std::string_view entry) {
  const std::size_t colon = entry.find(':');
  if (colon == std::string_view::npos) return {std::string(), std::string(entry)};
  return {std::string(entry.substr(0, colon)), std::string(entry.substr(colon + 1))};
}

ProxyPool& ThePool() {
  // Never destroyed: relay threads may still be judging a proxy while the
  // process exits, and they must not meet a pool that is being torn down.
  static ProxyPool* const pool = new ProxyPool;
  return *pool;
}

std::uint32_t StartupSeed() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const std::uint64_t nanoseconds =
      static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(now.tv_nsec);
  return static_cast<std::uint32_t>(nanoseconds);
}

namespace {

std::string IndexErrorText(long long index) {
  char text[64];
  std::snprintf(text, sizeof text, "List index out of bounds (%lld)", index);
  return text;
}

std::size_t ListSlot(ProxyListId list) {
  return static_cast<std::size_t>(list);
}
std::size_t FieldSlot(FieldId field) {
  return static_cast<std::size_t>(field);
}

}  // namespace

struct ProxyPool::State {
  // Guards everything below but the owner and the upstream.
  mutable std::mutex mutex;
  SortedEntryList lists[3];
  std::string fields[2];
  RandomGenerator random;
  // Written with both locks held, read with this one alone: a new connection
  // never waits for an import's joining.
  mutable std::mutex upstreamMutex;
  Upstream upstream;
  std::mutex ownerMutex;
  std::shared_ptr<PoolOwner> owner;
  // The listeners, and the changes of the operation under way, which the
  // thread that made them takes with it as it releases the lock. Nothing is
  // kept while nobody listens.
  std::vector<std::pair<int, std::shared_ptr<const PoolListener>>> listeners;
  int nextListenerId = 1;
  bool listening = false;
  std::vector<PoolChange> pending;

  // Mutators below run with `mutex` held; what they change waits in `pending`.
  void QueueChange(PoolChange change) {
    if (listening) pending.push_back(std::move(change));
  }

  void SetField(FieldId field, std::string text) {
    std::string& slot = fields[FieldSlot(field)];
    if (slot == text) return;
    slot = std::move(text);
    QueueChange({PoolChange::Kind::FieldText, ProxyListId::All, 0, field, slot});
  }

  void FillFields(std::string_view entry) {
    auto [host, port] = SplitProxyEntry(entry);
    SetField(FieldId::Host, std::move(host));
    SetField(FieldId::Port, std::move(port));
  }

  void RemoveEntry(ProxyListId list, std::string_view entry) {
    const std::optional<std::size_t> position = lists[ListSlot(list)].RemoveFirst(entry);
    if (position) QueueChange({PoolChange::Kind::Removed, list, *position, FieldId::Host, std::string(entry)});
  }

  void RemoveSame(ProxyListId list, std::string_view entry) {
    const auto [host, port] = SplitProxyEntry(entry);
    const std::string prefix = host + ':';
    const std::int32_t number = IntFromText(port);
    SortedEntryList& entries = lists[ListSlot(list)];
    // Sorted by bytes, the entries of one host text stand together.
    for (std::size_t position = entries.LowerBound(prefix); position < entries.Size();) {
      const std::string_view candidate = entries.At(position);
      if (!candidate.starts_with(prefix)) break;
      if (IntFromText(candidate.substr(prefix.size())) != number) {
        ++position;
        continue;
      }
      std::string text(candidate);
      entries.EraseAt(position);
      QueueChange({PoolChange::Kind::Removed, list, position, FieldId::Host, std::move(text)});
    }
  }

  void InsertEntry(ProxyListId list, std::string_view entry) {
    const std::size_t position = InsertingLine([&] { return lists[ListSlot(list)].Insert(entry); });
    // The same entry taken out of the same place a moment ago (a proxy that
    // fails again): the list looks as before, and the views need not hear it.
    if (listening && !pending.empty()) {
      const PoolChange& last = pending.back();
      if (last.kind == PoolChange::Kind::Removed && last.list == list && last.index == position && last.text == entry) {
        pending.pop_back();
        return;
      }
    }
    QueueChange({PoolChange::Kind::Inserted, list, position, FieldId::Host, std::string(entry)});
  }

  // The texts of `fresh` (each once) that no list holds go into `list`,
  // counted in `added` as they go: the smaller of the two is put into the
  // larger, or, both being large, the two are merged in one pass. A list that
  // another took the place of is left in `replaced`, to be freed after the
  // lock. Throws std::bad_alloc or std::length_error.
  void Join(ProxyListId list, SortedEntryList& fresh, std::size_t& added, SortedEntryList& replaced) {
    for (std::size_t i = 0; i < 3; ++i) {
      if (i != ListSlot(list)) DropHeld(fresh, lists[i]);
    }
    SortedEntryList& target = lists[ListSlot(list)];
    // A search costs a few dozen entries' worth of a pass: past that share,
    // one pass over both is the shorter wait for the relay's threads.
    if (std::min(fresh.Size(), target.Size()) > std::max(fresh.Size(), target.Size()) / 16) {
      replaced = std::exchange(target, SortedEntryList::Merged(target, fresh, added));
      return;
    }
    if (fresh.Size() <= target.Size()) {
      for (std::string_view entry : fresh) {
        if (target.InsertUnique(entry)) ++added;
      }
      return;
    }
    // The list's own repeats stay; a text it holds already is not new.
    const std::size_t candidates = fresh.Size();
    std::size_t known = 0;
    std::optional<std::string_view> previous;
    for (std::string_view entry : target) {
      if (entry == previous || !fresh.Contains(entry)) {
        fresh.Insert(entry);
      } else {
        ++known;
      }
      previous = entry;
    }
    replaced = std::exchange(target, std::move(fresh));
    added = candidates - known;
  }

  // Out of `fresh`, every text that `other` holds, walking the smaller.
  static void DropHeld(SortedEntryList& fresh, const SortedEntryList& other) {
    if (other.Size() <= fresh.Size()) {
      for (std::string_view entry : other) fresh.RemoveFirst(entry);
      return;
    }
    std::vector<std::string> held;
    for (std::string_view entry : fresh) {
      if (other.Contains(entry)) held.emplace_back(entry);
    }
    for (const std::string& entry : held) fresh.RemoveFirst(entry);
  }

  void ApplyFields() {
    Upstream next{fields[FieldSlot(FieldId::Host)], IntFromText(fields[FieldSlot(FieldId::Port)])};
    std::lock_guard lock(upstreamMutex);
    upstream = std::move(next);
  }

  // Runs `step` with `mutex` held; what it changed is told after the lock,
  // also when it throws (what it changed before stands).
  template <typename Step>
  void Locked(Step step) {
    Unheard unheard;
    std::exception_ptr failure;
    {
      std::lock_guard lock(mutex);
      try {
        step();
      } catch (...) {
        failure = std::current_exception();
      }
      unheard = TakeUnheard();
    }
    Tell(std::move(unheard));
    if (failure) std::rethrow_exception(failure);
  }

  // With `mutex` held: what the operation changed, and who is to hear it.
  struct Unheard {
    std::vector<PoolChange> changes;
    std::vector<std::shared_ptr<const PoolListener>> listeners;
  };
  Unheard TakeUnheard() {
    Unheard unheard;
    if (pending.empty()) return unheard;
    unheard.changes.swap(pending);
    for (const auto& entry : listeners) unheard.listeners.push_back(entry.second);
    return unheard;
  }
  // After the lock: each change to each listener, in order. A change that a
  // listener makes is told once every listener has heard the one before it.
  // A listener that throws would leave every view out of step with the pool
  // for good; that is a fault to stop at, not to carry on from.
  static void Tell(Unheard unheard) noexcept {
    thread_local std::deque<Unheard>* telling = nullptr;
    if (unheard.changes.empty()) return;
    if (telling) {
      telling->push_back(std::move(unheard));
      return;
    }
    std::deque<Unheard> queue;
    queue.push_back(std::move(unheard));
    telling = &queue;
    for (; !queue.empty(); queue.pop_front()) {
      for (const PoolChange& change : queue.front().changes) {
        for (const auto& listener : queue.front().listeners) (*listener)(change);
      }
    }
    telling = nullptr;
  }
};

ProxyPool::ProxyPool() : state_(new State) {}

ProxyPool::~ProxyPool() {
  delete state_;
}

void ProxyPool::Randomize(std::uint32_t seed) {
  std::lock_guard lock(state_->mutex);
  state_->random.Seed(seed);
}

void ProxyPool::SetOwner(std::shared_ptr<PoolOwner> owner) {
  std::lock_guard lock(state_->ownerMutex);
  state_->owner = std::move(owner);
}

void ProxyPool::Change(const std::function<void()>& change) {
  std::shared_ptr<PoolOwner> owner;
  {
    std::lock_guard lock(state_->ownerMutex);
    owner = state_->owner;
  }
  if (owner && !owner->OnOwnerThread()) {
    std::exception_ptr failure;
    const bool ran = owner->RunThere([&] {
      try {
        change();
      } catch (...) {
        failure = std::current_exception();
      }
    });
    if (failure) std::rethrow_exception(failure);
    if (ran) return;
  }
  change();
}

void ProxyPool::HandOver(std::function<void()> steps) {
  std::shared_ptr<PoolOwner> owner;
  {
    std::lock_guard lock(state_->ownerMutex);
    owner = state_->owner;
  }
  if (owner && !owner->OnOwnerThread() && owner->Post(steps)) return;
  steps();
}

void ProxyPool::SelectRandomProxy() {
  Change([&] {
    state_->Locked([&] {
      const SortedEntryList& all = state_->lists[ListSlot(ProxyListId::All)];
      if (all.Empty()) return;
      state_->FillFields(all.At(state_->random.NextIndex(static_cast<std::uint32_t>(all.Size()))));
      state_->ApplyFields();
    });
  });
}

void ProxyPool::ApplyUpstream() {
  std::lock_guard lock(state_->mutex);
  state_->ApplyFields();
}

void ProxyPool::RemoveProxyEntry(ProxyListId list, std::string_view entry) {
  MoveProxyEntry({list}, std::nullopt, entry);
}

void ProxyPool::AddProxyEntry(ProxyListId list, std::string_view entry) {
  MoveProxyEntry({}, list, entry);
}

void ProxyPool::MoveProxyEntry(std::initializer_list<ProxyListId> from, std::optional<ProxyListId> to,
                               std::string_view entry) {
  Change([&] {
    state_->Locked([&] {
      for (ProxyListId list : from) state_->RemoveEntry(list, entry);
      if (to) state_->InsertEntry(*to, entry);
    });
  });
}

void ProxyPool::RemoveSameProxy(ProxyListId list, std::string_view entry) {
  Change([&] { state_->Locked([&] { state_->RemoveSame(list, entry); }); });
}

std::size_t ProxyPool::AddNewProxyEntries(ProxyListId list, EntryBatch& batch) {
  std::size_t added = 0;
  Change([&] {
    // Sorted and built outside the lock: the relay's threads wait only for the joining.
    SortedEntryList fresh = InsertingLine([&] { return SortedEntryList::FromBatch(batch); });
    if (fresh.Empty()) return;
    state_->Locked([&] { state_->QueueChange({.kind = PoolChange::Kind::Replacing, .list = list}); });
    // Declared before the lock so that it is freed after it.
    SortedEntryList replaced;
    state_->Locked([&] {
      // Told even when nothing came in: a view waits for the end of the change.
      try {
        InsertingLine([&] {
          state_->Join(list, fresh, added, replaced);
          return 0;
        });
      } catch (const EListError&) {
        state_->QueueChange({.kind = PoolChange::Kind::Replaced, .list = list});
        throw;
      }
      state_->QueueChange({.kind = PoolChange::Kind::Replaced, .list = list});
    });
  });
  return added;
}

bool ProxyPool::ContainsProxyEntry(ProxyListId list, std::string_view entry) const {
  std::lock_guard lock(state_->mutex);
  return state_->lists[ListSlot(list)].Contains(entry);
}

void ProxyPool::FillFieldsFromList(ProxyListId list, int selectedIndex) {
  Change([&] {
    state_->Locked([&] {
      const SortedEntryList& entries = state_->lists[ListSlot(list)];
      if (selectedIndex < 0 || static_cast<std::size_t>(selectedIndex) >= entries.Size()) {
        throw EListError(IndexErrorText(selectedIndex));
      }
      state_->FillFields(entries.At(static_cast<std::size_t>(selectedIndex)));
    });
  });
}

Upstream ProxyPool::CurrentUpstream() const {
  std::lock_guard lock(state_->upstreamMutex);
  return state_->upstream;
}

std::string ProxyPool::FieldText(FieldId field) const {
  std::lock_guard lock(state_->mutex);
  return state_->fields[FieldSlot(field)];
}

void ProxyPool::SetFieldText(FieldId field, std::string text) {
  Change([&] { state_->Locked([&] { state_->SetField(field, std::move(text)); }); });
}

std::size_t ProxyPool::Count(ProxyListId list) const {
  std::lock_guard lock(state_->mutex);
  return state_->lists[ListSlot(list)].Size();
}

std::string ProxyPool::EntryAt(ProxyListId list, std::size_t index) const {
  std::lock_guard lock(state_->mutex);
  const SortedEntryList& entries = state_->lists[ListSlot(list)];
  if (index >= entries.Size()) throw EListError(IndexErrorText(static_cast<long long>(index)));
  return std::string(entries.At(index));
}

std::vector<std::string> ProxyPool::Entries(ProxyListId list) const {
  std::lock_guard lock(state_->mutex);
  return state_->lists[ListSlot(list)].ToVector();
}

std::optional<std::size_t> ProxyPool::PositionOf(ProxyListId list, std::string_view entry) const {
  std::lock_guard lock(state_->mutex);
  return state_->lists[ListSlot(list)].Find(entry);
}

int ProxyPool::AddListener(PoolListener listener) {
  std::lock_guard lock(state_->mutex);
  const int id = state_->nextListenerId++;
  state_->listeners.emplace_back(id, std::make_shared<const PoolListener>(std::move(listener)));
  state_->listening = true;
  return id;
}

void ProxyPool::RemoveListener(int id) {
  std::lock_guard lock(state_->mutex);
  std::erase_if(state_->listeners, [id](const auto& entry) { return entry.first == id; });
  state_->listening = !state_->listeners.empty();
}
