// Reads the facts of a large scan's entries ahead of the caller on a second
// thread, so that the system calls for a directory with many files run on two
// cores. The entries fall into blocks; the caller's thread reads the entries
// of the even blocks itself, as it goes, and the second thread reads the odd
// blocks ahead of it, a few blocks at most. An odd block the second thread has
// not begun when the caller reaches it is read by the caller too, so a busy
// machine never makes the scan wait for the second thread. The facts are the
// ones a lazy read would give a moment later; nothing is deleted on them (a
// removal checks the file again).
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

// Starts `body` on `worker`; false when no thread can be had.
using ThreadStart = bool (*)(std::thread& worker, std::function<void()> body);

template <typename Facts>
class FactsPrefetch {
 public:
  static constexpr size_t kBlock = 256;
  static constexpr size_t kSlots = 8;

  // Reads the facts of entry `index`; false when it has none to give (the
  // caller then reads them itself). Called on the second thread.
  using Reader = std::function<bool(size_t index, Facts& facts)>;

  // A prefetch over `count` entries, or nullptr when the scan is too small
  // to have an odd block or no memory or thread is to be had.
  static std::unique_ptr<FactsPrefetch> Start(size_t count, Reader read,
                                              ThreadStart start) noexcept {
    if (count <= kBlock) return nullptr;
    try {
      std::unique_ptr<FactsPrefetch> prefetch(new FactsPrefetch(count, std::move(read)));
      if (!start(prefetch->worker_, [raw = prefetch.get()] { raw->Run(); })) return nullptr;
      return prefetch;
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }

  ~FactsPrefetch() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      stop_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) worker_.join();
  }

  FactsPrefetch(const FactsPrefetch&) = delete;
  FactsPrefetch& operator=(const FactsPrefetch&) = delete;

  // Called as entry `index` becomes current, in ascending order; true with
  // `facts` filled when the second thread has read them. The lock is taken
  // once a block, not once an entry: the second thread never writes the slot
  // of the caller's block while the caller is in it.
  bool Take(size_t index, Facts& facts) {
    const size_t block = index / kBlock;
    if (block != callerBlock_) {
      std::unique_lock<std::mutex> guard(lock_);
      callerBlock_ = block;
      // The second thread in the middle of this block: wait for it.
      changed_.wait(guard, [&] { return busy_ != block; });
      fromWorker_ = SlotOf(block).block == block;
      changed_.notify_all();  // the slot of an earlier block is free again
    }
    if (!fromWorker_) return false;
    const Slot& slot = SlotOf(block);
    const size_t at = index % kBlock;
    if (!slot.loaded[at]) return false;
    facts = slot.facts[at];
    return true;
  }

 private:
  static constexpr size_t kNone = SIZE_MAX;

  struct Slot {
    size_t block = kNone;
    bool loaded[kBlock] = {};
    Facts facts[kBlock];
  };

  FactsPrefetch(size_t count, Reader read)
      : read_(std::move(read)), count_(count), slots_(kSlots) {}

  // Two blocks share a slot: the caller's even one, read on its own thread,
  // never fills it.
  Slot& SlotOf(size_t block) { return slots_[block / 2 % kSlots]; }

  // The next odd block after the caller's, within reach of the slots; kNone
  // when every block is done or the scan ends. The lock must be held.
  size_t NextBlock(std::unique_lock<std::mutex>& guard) {
    for (;;) {
      if (stop_) return kNone;
      if (next_ <= callerBlock_)
        next_ = callerBlock_ % 2 == 0 ? callerBlock_ + 1 : callerBlock_ + 2;
      if (next_ * kBlock >= count_) return kNone;
      if (next_ < callerBlock_ + 2 * kSlots) return next_;
      changed_.wait(guard);
    }
  }

  void Run() {
    std::unique_lock<std::mutex> guard(lock_);
    for (size_t block = NextBlock(guard); block != kNone; block = NextBlock(guard)) {
      busy_ = block;
      next_ = block + 2;
      guard.unlock();
      // The caller has left the block that used this slot before.
      Slot& slot = SlotOf(block);
      const size_t end = std::min(count_, (block + 1) * kBlock);
      for (size_t index = block * kBlock; index < end; ++index) {
        slot.loaded[index % kBlock] = read_(index, slot.facts[index % kBlock]);
      }
      guard.lock();
      slot.block = block;
      busy_ = kNone;
      changed_.notify_all();
    }
  }

  const Reader read_;
  const size_t count_;
  std::vector<Slot> slots_;
  std::mutex lock_;
  std::condition_variable changed_;
  size_t callerBlock_ = 0;
  size_t next_ = 1;
  size_t busy_ = kNone;
  bool fromWorker_ = false;
  bool stop_ = false;
  std::thread worker_;
};
