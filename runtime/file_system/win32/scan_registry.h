// The Windows build's scan registry: the close routine can run on another
// thread, so every use holds the lock; a directory text scanned again gets a
// handle of its own; and the names handed out are copies the registry keeps,
// as a scan keeps only its current entry.
#pragma once

#include <windows.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/file_system/scan_registry.h"
#include "runtime/text.h"

template <typename Scan>
class ScanRegistry : public ScanRegistryCore<Scan, Text, HANDLE> {
  using Core = ScanRegistryCore<Scan, Text, HANDLE>;

 public:
  using typename Core::KeyView;

  // Every other member wants the lock held.
  [[nodiscard]] std::lock_guard<std::mutex> Hold() { return std::lock_guard<std::mutex>(lock_); }

  // Keeps `handle` under `key`. One kept there before stays open until Clear:
  // a scan may still read through it.
  void KeepDirectory(KeyView key, HANDLE handle) {
    const auto [slot, inserted] = this->kept_.try_emplace(Text(key), handle);
    if (inserted) return;
    this->retiredHandles_.push_back(slot->second);
    slot->second = handle;
  }

  // A copy of `name`, a NUL after it, that stays valid until Clear; throws
  // std::bad_alloc without memory.
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

  // Core::Clear, and the names only this build keeps.
  template <typename Close>
  void Clear(Close close) noexcept {
    Core::Clear(close);
    keptNames_.clear();
    tail_ = nullptr;
    tailFree_ = 0;
  }

 private:
  static constexpr size_t kNameChunk = 16 * 1024;  // units of one block of kept names

  std::mutex lock_;
  std::vector<std::unique_ptr<std::u16string>> keptNames_;
  char16_t* tail_ = nullptr;  // free units of the last KeepName block
  size_t tailFree_ = 0;
};
