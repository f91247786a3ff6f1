// What the file-system service holds between calls, the same on every
// platform: the scans by number, the directories they opened (by directory
// text, or under none), the storage of the names handed out as views and the
// lost-entries flag. Each platform's ScanRegistry (posix/, win32/) builds on
// it with what only that build needs. The platform supplies its scan and its
// directory handle.
#pragma once

#include <map>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

// `Scan` must offer ReleaseNames(): the storage its name views point into
// (nullptr when it has none), taken when the scan ends. `Key` is the
// platform's directory text, `Handle` its open directory.
template <typename Scan, typename Key, typename Handle>
class ScanRegistryCore {
 public:
  using KeyView = std::basic_string_view<typename Key::value_type>;

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

  // Ends every scan, closes every kept directory with `close` (which is also
  // handed the failures kept) and lets go of the names.
  template <typename Close>
  void Clear(Close close) noexcept {
    scans_.clear();
    for (const auto& kept : kept_) close(kept.second);
    for (const Handle handle : retiredHandles_) close(handle);
    kept_.clear();
    retiredHandles_.clear();
    retiredNames_.clear();
  }

  // Set when a scan had to leave entries out for want of memory.
  bool lostEntries = false;

 protected:
  std::map<int, Scan> scans_;
  std::map<Key, Handle, std::less<>> kept_;
  std::vector<Handle> retiredHandles_;  // kept, but under no text
  // Names of ended scans: callers may still hold views into them.
  std::vector<std::shared_ptr<void>> retiredNames_;
};
