// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The IRC Quillmere developers
// The program's whole memory of proxies: three sorted lists of "host:port"
// entries, the host and port field texts, the current upstream and the random
// generator that picks from the list of all proxies. Every operation is atomic
// and may be called from any thread; listeners hear of every change, never
// while the pool's lock is held.
//
// The pool owns the lists; nobody keeps a copy. With an owner (the window),
// every change is made on the owner's thread: a change asked for on another
// thread is handed over, and either waits until it is made or (HandOver, a
// relay thread's verdict) goes on at once, so the window hears each change on
// its own thread as it happens and reads the lists themselves. Without one
// (the relay alone, the tests) changes are made on the calling thread. Either
// way one lock serializes them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class ProxyListId { All, Working, Failed };
inline constexpr ProxyListId lstAll = ProxyListId::All;
inline constexpr ProxyListId lstWorking = ProxyListId::Working;
inline constexpr ProxyListId lstFailed = ProxyListId::Failed;

enum class FieldId { Host, Port };
inline constexpr FieldId edtHost = FieldId::Host;
inline constexpr FieldId edtPort = FieldId::Port;

// The upstream proxy; an empty host means there is none.
struct Upstream {
  std::string host;
  std::int32_t port = 0;
  friend bool operator==(const Upstream&, const Upstream&) = default;
};

// "List index out of bounds (%d)" and "Unable to insert a line".
class EListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs one step of adding to a list. A list that cannot take another entry,
// for want of memory or of room in its 32-bit positions, fails as the list box
// did: EListError("Unable to insert a line").
template <typename Step>
auto InsertingLine(Step step) -> decltype(step()) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    throw EListError("Unable to insert a line");
  } catch (const std::length_error&) {
    throw EListError("Unable to insert a line");
  }
}

class EntryBatch;

// One change, as a view of the pool hears it.
struct PoolChange {
  // Replacing, then Replaced: the list is about to change as a whole (an
  // import), and has; read it again. Nothing else changes in between.
  enum class Kind { Inserted, Removed, FieldText, Replacing, Replaced };
  Kind kind = Kind::Inserted;
  ProxyListId list = ProxyListId::All;  // Inserted, Removed, Replaced
  std::size_t index = 0;                // Inserted, Removed: position in the list
  FieldId field = FieldId::Host;        // FieldText
  std::string text{};                   // the entry, or the field's new text
};

// The thread the pool's changes are made on, while it has one.
class PoolOwner {
 public:
  virtual ~PoolOwner() = default;
  virtual bool OnOwnerThread() const = 0;
  // Runs `change` on the owner's thread and returns once it has run; false,
  // without running it, once the owner has gone.
  virtual bool RunThere(const std::function<void()>& change) = 0;
  // Runs `change` on the owner's thread after every change handed over
  // before it, and returns at once; its errors are the owner's to handle.
  // False, without taking it, once the owner has gone.
  virtual bool Post(std::function<void()> change) = 0;
};

using PoolListener = std::function<void(const PoolChange&)>;

// Host text before the first ":", port text after it; without ":" the host is
// empty and the port text is the whole entry.
std::pair<std::string, std::string> SplitProxyEntry(std::string_view entry);

class ProxyPool;
// The process-wide pool the relay and the window share.
ProxyPool& ThePool();

// The start-up seed: the low 32 bits of the monotonic clock in nanoseconds.
std::uint32_t StartupSeed();

class ProxyPool {
 public:
  ProxyPool();
  ~ProxyPool();
  ProxyPool(const ProxyPool&) = delete;
  ProxyPool& operator=(const ProxyPool&) = delete;

  // From now on every change is made on `owner`'s thread; nullptr: on the
  // caller's. A change already handed to the old owner is made by it, or, if
  // it refuses (gone), on the caller's thread.
  void SetOwner(std::shared_ptr<PoolOwner> owner);

  // Runs several operations of the pool where changes are made, without
  // waiting for them: on the owner's thread in the order handed over, or at
  // once on this thread (errors passed on) while there is no owner. Each stays
  // an operation of its own; the steps together are not one.
  void HandOver(std::function<void()> steps);

  // Seeds the 32-bit generator (state := state * 134775813 + 1 per draw).
  void Randomize(std::uint32_t seed);

  // Picks a random entry of lstAll into the fields and applies them; with
  // lstAll empty nothing changes.
  void SelectRandomProxy();
  // "Set!": the fields become the upstream (port read by IntFromText).
  void ApplyUpstream();
  void RemoveProxyEntry(ProxyListId list, std::string_view entry);
  // Throws EListError("Unable to insert a line") when the list cannot grow.
  void AddProxyEntry(ProxyListId list, std::string_view entry);
  bool ContainsProxyEntry(ProxyListId list, std::string_view entry) const;
  // In one step: the first copy of `entry` out of each list of `from`, in
  // that order, then `entry` into `to`, so that steps of the same kind made at
  // the same moment leave one copy. Listeners hear each removal and the
  // insertion as changes of their own. Throws as AddProxyEntry, the removals
  // made.
  // No `to`: the removals alone.
  void MoveProxyEntry(std::initializer_list<ProxyListId> from, std::optional<ProxyListId> to,
                      std::string_view entry);
  // Every entry of `list` for the proxy of `entry`: the same host text and a
  // port text that reads as the same number ("h:02345" and "h:2345").
  void RemoveSameProxy(ProxyListId list, std::string_view entry);
  // In one step, the import's: every text of `batch` into `list` once, unless
  // one of the three lists holds it already. Listeners hear Replacing before
  // and Replaced after. How many went in; the batch is left empty. Throws
  // EListError("Unable to insert a line") when memory runs out: the entries
  // that went in before it stay, and are told.
  std::size_t AddNewProxyEntries(ProxyListId list, EntryBatch& batch);
  // lstAllClick, lstWorkingClick, lstFailedClick: the selected entry (index, -1
  // for none) fills both fields; throws EListError("List index out of bounds (%d)").
  void FillFieldsFromList(ProxyListId list, int selectedIndex);

  Upstream CurrentUpstream() const;
  std::string FieldText(FieldId field) const;
  // Typing into a field; notifies only when the text changes.
  void SetFieldText(FieldId field, std::string text);

  std::size_t Count(ProxyListId list) const;
  // Throws EListError("List index out of bounds (%d)") past the end.
  std::string EntryAt(ProxyListId list, std::size_t index) const;
  std::vector<std::string> Entries(ProxyListId list) const;
  // The position of the first entry equal to `entry`, if the list holds one.
  std::optional<std::size_t> PositionOf(ProxyListId list, std::string_view entry) const;

  // A listener hears every change made after it was added, on the thread
  // that made it, once the pool's lock is released: with an owner, on the
  // owner's thread alone, in the order the changes were made. It must not
  // throw. Calls on the pool are allowed inside it.
  int AddListener(PoolListener listener);
  void RemoveListener(int id);

 private:
  struct State;
  // Runs `change` where changes are made (see above), its errors passed on.
  void Change(const std::function<void()>& change);

  State* state_;
};
