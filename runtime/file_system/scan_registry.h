// What the file-system service holds between calls, the same on every
// platform: the scans by number, the directories they opened by directory
// text, the names handed out as views and the lost-entries flag. A build
// whose close routine can run on another thread (Windows) takes the lock
// around each use; the POSIX build uses it from one thread only. The
// platform supplies its scan, its directory handle and the calls that open
// and close one.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// `Scan` must offer ReleaseNames(): the storage its name views point into
// (nullptr when it has none), taken when the scan ends. `Key` is the
// platform's directory text, `Handle` its open directory.
template <typename Scan, typename Key, typename Handle>
class ScanRegistry {
 public:
  using KeyView = std::basic_string_view<typename Key::value_type>;

  // Where another thread may use the registry, every other member wants the
  // lock held.
  [[nodiscard]] std::lock_guard<std::mutex> Hold() { return std::lock_guard<std::mutex>(lock_); }

  // The scan under `number`; nullptr when there is none.
  Scan* Find(int number) {
    const auto found = scans_.find(number);
    return found == scans_.end() ? nullptr : &found->second;
  }

  // Puts `scan` under `number` (replacing one there) and answers where it now
  // stays; throws std::bad_alloc without memory.
  Scan& Store(int number, Scan&& scan) {
    retiredNames_.reserve(retiredNames_.size() + scans_.size() + 1);
    return scans_[number] = std::move(scan);
  }

  // Ends the scan under `number`; the names it handed out stay valid until
  // Clear.
  void Retire(int number) noexcept {
    const auto found = scans_.find(number);
    if (found == scans_.end()) return;
    // Store made room for it: keeping the names needs no memory now.
    std::shared_ptr<void> names = found->second.ReleaseNames();
    if (names != nullptr) retiredNames_.push_back(std::move(names));
    scans_.erase(found);
  }

  // The directory kept under `key`, opened by `open()` at its first use in
  // the run. A failure is kept as well: each text is resolved once, and the
  // input check, the scans and the removals all use what it gave.
  template <typename Open>
  Handle Directory(KeyView key, Open open) {
    if (const auto found = kept_.find(key); found != kept_.end()) return found->second;
    const auto slot = kept_.try_emplace(Key(key)).first;  // room first: an opened handle can't leak
    try {
      slot->second = open();
    } catch (...) {
      kept_.erase(slot);
      throw;
    }
    return slot->second;
  }

  // A directory no text names (the one a path check opened), opened by
  // `open()` and kept, a failure too, until Clear.
  template <typename Open>
  Handle KeepOpened(Open open) {
    retiredHandles_.reserve(retiredHandles_.size() + 1);  // room first: an opened handle can't leak
    const Handle handle = open();
    retiredHandles_.push_back(handle);
    return handle;
  }

  // Keeps `handle` under `key`. One kept there before stays open until Clear:
  // a scan may still read through it.
  void KeepDirectory(KeyView key, Handle handle) {
    const auto [slot, inserted] = kept_.try_emplace(Key(key), handle);
    if (inserted) return;
    retiredHandles_.push_back(slot->second);
    slot->second = handle;
  }

  // A copy of `name`, a NUL after it, that stays valid until Clear, for a
  // scan that keeps no block of names; throws std::bad_alloc without memory.
  std::u16string_view KeepName(std::u16string_view name) {
    const size_t room = name.size() + 1;
    if (tailFree_ < room) {
      const size_t units = std::max(kNameChunk, room);
      keptNames_.push_back(std::make_unique<std::u16string>(units, u'\0'));
      tail_ = keptNames_.back()->data();
      tailFree_ = units;
    }
    char16_t* const copy = tail_;
    std::copy(name.begin(), name.end(), copy);
    copy[name.size()] = u'\0';
    tail_ += room;
    tailFree_ -= room;
    return std::u16string_view(copy, name.size());
  }

  // Ends every scan, closes every directory with `close` (which is also
  // handed the failures kept) and lets go of the names.
  template <typename Close>
  void Clear(Close close) noexcept {
    scans_.clear();
    for (const auto& kept : kept_) close(kept.second);
    for (const Handle handle : retiredHandles_) close(handle);
    kept_.clear();
    retiredHandles_.clear();
    keptNames_.clear();
    retiredNames_.clear();
    tail_ = nullptr;
    tailFree_ = 0;
  }

  // Set when a scan had to leave entries out for want of memory.
  bool lostEntries = false;

 private:
  static constexpr size_t kNameChunk = 16 * 1024;  // units of one block of kept names

  std::mutex lock_;
  std::map<int, Scan> scans_;
  std::map<Key, Handle, std::less<>> kept_;
  std::vector<Handle> retiredHandles_;  // and those KeepOpened keeps
  // Names of ended scans and blocks of KeepName: callers may still hold views.
  std::vector<std::shared_ptr<void>> retiredNames_;
  std::vector<std::unique_ptr<std::u16string>> keptNames_;
  char16_t* tail_ = nullptr;  // free units of the last KeepName block
  size_t tailFree_ = 0;
};
