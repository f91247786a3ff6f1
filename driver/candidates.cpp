// Collection of the files found by the scan and the three filter passes.
#include "driver/candidates.h"

#include "runtime/dates.h"
#include "runtime/file_system.h"
#include "runtime/regex.h"

namespace {

constexpr int kScan = 0;
constexpr int kNamePattern = 0;
constexpr int kFileType = 1;
constexpr int kCreationTime = 0;

// Wrapping 64-bit arithmetic: overflow is part of the age rule, not an error.
int64_t WrapAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}

int64_t WrapMultiply(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}

}  // namespace

void SortNewestFirst(CandidateList& list) {
  ListSortDescending(&list, &FileEntry::created, kKeyDate);
  ListReset(list);
}

void CollectCandidates(const RunSettings& settings, CandidateList& list) {
  ListClear(list);
  OpenScan(kScan, settings.directory, settings.pattern);
  while (NextEntry(kScan) != 0) {
    if (EntryType(kScan) != kFileType) continue;
    FileId id;
    if (EntryId(kScan, id) == 0) continue;  // vanished or can't be examined
    const std::u16string_view name = EntryNameView(kScan);
    if (name.empty()) continue;  // no storage for the name: skip this file
    FileEntry* entry = ListAdd(list);
    if (entry == nullptr) continue;  // no storage: skip this file
    entry->path = &settings.directory;
    entry->name = name;
    entry->size = EntrySize(kScan);
    entry->created = EntryDate(kScan, kCreationTime);
    entry->id = id;
  }
  CloseScan(kScan);
}

void FilterByName(const RunSettings& settings, CandidateList& list) {
  if (TextEquals(settings.nameExpression, u"")) return;
  SortNewestFirst(list);
  CompilePattern(kNamePattern, settings.nameExpression);
  while (FileEntry* entry = ListNext(list)) {
    if (MatchPattern(kNamePattern, Text(entry->name)) == 0) ListRemoveCurrent(list);
  }
}

int64_t MinimumAge(const RunSettings& settings) {
  int64_t age = WrapMultiply(settings.minMinutes, 60);
  age = WrapAdd(age, WrapMultiply(settings.minHours, 3600));
  return WrapAdd(age, WrapMultiply(settings.minDays, 86400));
}

void FilterByAge(const RunSettings& settings, CandidateList& list) {
  int64_t minAge = MinimumAge(settings);
  if (minAge <= 0) return;
  SortNewestFirst(list);
  while (FileEntry* entry = ListNext(list)) {
    int64_t limit = WrapAdd(CurrentDate(), WrapMultiply(minAge, -1));
    if (entry->created >= limit) ListRemoveCurrent(list);
  }
}

void SpareNewest(const RunSettings& settings, CandidateList& list) {
  SortNewestFirst(list);
  int64_t counter = 0;
  while (ListNext(list) != nullptr) {
    ++counter;
    if (counter <= settings.spareCount) ListRemoveCurrent(list);
  }
}
