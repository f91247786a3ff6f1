// Collection of the files found by the scan and the three filter passes.
#include "driver/candidates.h"

#include <algorithm>
#include <limits>

#include "runtime/console.h"
#include "runtime/dates.h"
#include "runtime/file_system/file_system.h"
#include "runtime/regex.h"

namespace {

constexpr int kScan = 0;
constexpr int kNamePattern = 0;

// Room for the exact age sums: three 64-bit values times at most 86,400.
__extension__ typedef __int128 Wide;

constexpr Wide kLargest = std::numeric_limits<int64_t>::max();
constexpr Wide kSmallest = std::numeric_limits<int64_t>::min();

constexpr uint32_t kMostNanoseconds = 999999999;
constexpr uint32_t kNanosecondBits = 0x7FFFFFFF;

}  // namespace

void FileEntry::Keep(const ListedName& listed, const FileId& id) {
  name = listed.name.data();
  directory = static_cast<int32_t>(listed.directory);
  volume = id.volume;
  file = id.file;
  birth = id.birth;
  link = id.link ? 1 : 0;
}

void SortNewestFirst(CandidateList& list) {
  ListSortBy(&list, kSortDescending, [](const FileEntry& entry) { return entry.Created(); });
  ListReset(list);
}

void CollectCandidates(const RunSettings& settings, CandidateList& list) {
  ListClear(list);
  // A directory that can't be read would look like one with nothing to
  // delete; a scan that ran out of memory is told below.
  if (OpenScan(kScan, settings.scanDirectory, settings.pattern) == 0 && ScansLostEntries() == 0) {
    WriteLine(u"Fehler: Verzeichnis kann nicht gelesen werden: " + settings.directory);
  }
  // Entries left out for want of memory are not deleted; the run says so.
  bool lost = false;
  while (NextEntry(kScan) != 0) {
    if (EntryType(kScan) != kFileType) continue;
    FileId id;
    if (EntryId(kScan, id) == 0) continue;  // vanished or can't be examined
    const ListedName listed = EntryListedName(kScan);
    FileEntry* entry = listed.name.empty() || !FileEntry::Fits(listed) ? nullptr : ListAdd(list);
    if (entry == nullptr) {  // no storage for the name or the record
      lost = true;
      continue;
    }
    entry->Keep(listed, id);
    entry->size = EntrySize(kScan);
    entry->createdDate = EntryDate(kScan, TimeCreated);
    // Below a second's nanoseconds from every platform; 31 bits hold them.
    entry->createdNanoseconds =
        std::min(EntryCreationFraction(kScan), kMostNanoseconds) & kNanosecondBits;
  }
  CloseScan(kScan);
  if (lost || ScansLostEntries() != 0) {
    WriteLine(u"Fehler: Zu wenig Speicher, die Liste ist unvollständig.");
  }
}

void FilterByName(const RunSettings& settings, CandidateList& list) {
  if (TextEquals(settings.nameExpression, u"")) return;
  SortNewestFirst(list);
  CompilePattern(kNamePattern, settings.nameExpression);
  Text name;  // kept from one entry to the next
  while (FileEntry* entry = ListNext(list)) {
    name.clear();
    AppendNameText(entry->Name(), name);
    if (MatchPattern(kNamePattern, name) == 0) ListRemoveCurrent(list);
  }
  if (const int64_t costly = PatternLimitHits(kNamePattern); costly > 0) {
    WriteLine(u"Fehler: Ausdruck zu aufwendig für " + FormatInteger(costly) + u" Namen");
  }
}

void DropLinksToDirectories(CandidateList& list) {
  ListReset(list);
  while (FileEntry* entry = ListNext(list)) {
    if (entry->link != 0 && IsLinkToDirectory(entry->Listed(), entry->Id()) != 0)
      ListRemoveCurrent(list);
  }
}

int64_t MinimumAge(const RunSettings& settings) {
  const Wide age = Wide{settings.minMinutes} * 60 + Wide{settings.minHours} * 3600 +
                   Wide{settings.minDays} * 86400;
  return static_cast<int64_t>(std::clamp(age, kSmallest, kLargest));
}

void FilterByAge(const RunSettings& settings, CandidateList& list) {
  const int64_t minAge = MinimumAge(settings);
  if (minAge <= 0) return;
  SortNewestFirst(list);
  while (FileEntry* entry = ListNext(list)) {
    // Exact: a minimum age beyond every date leaves no entry old enough.
    if (Wide{entry->createdDate} >= Wide{CurrentDate()} - minAge) ListRemoveCurrent(list);
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
