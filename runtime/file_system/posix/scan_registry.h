// The POSIX build's scan registry: a directory text is resolved once per run,
// and the input check, the scans and the removals all use what it gave; the
// directory a path check opened is kept under no text. The
// service runs on one thread, so the registry takes no lock.
#pragma once

#include <string>

#include "runtime/file_system/scan_registry.h"

template <typename Scan, typename Handle>
class ScanRegistry : public ScanRegistryCore<Scan, std::string, Handle> {
 public:
  using typename ScanRegistryCore<Scan, std::string, Handle>::KeyView;

  // The directory kept under `key`, opened by `open()` at its first use in
  // the run. A failure is kept as well.
  template <typename Open>
  Handle Directory(KeyView key, Open open) {
    auto& kept = this->kept_;
    if (const auto found = kept.find(key); found != kept.end()) return found->second;
    const auto slot = kept.try_emplace(std::string(key)).first;  // room first: no leak
    try {
      slot->second = open();
    } catch (...) {
      kept.erase(slot);
      throw;
    }
    return slot->second;
  }

  // A directory no text names (the one a path check opened), opened by
  // `open()` and kept, a failure too, until Clear.
  template <typename Open>
  Handle KeepOpened(Open open) {
    auto& retired = this->retiredHandles_;
    retired.reserve(retired.size() + 1);  // room first: an opened handle can't leak
    const Handle handle = open();
    retired.push_back(handle);
    return handle;
  }
};
