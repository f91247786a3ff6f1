// The files the run may delete: collected from the scan, then narrowed by
// name, by age and by the number of newest files to spare.
#pragma once

#include <cstdint>
#include <string_view>

#include "driver/run_settings.h"
#include "runtime/file_system/file_system.h"
#include "runtime/record_list.h"

// When a file was made: its date value, and the nanoseconds past that second,
// which order the files made within one second.
struct CreationTime {
  int64_t date = 0;
  uint32_t nanoseconds = 0;
  auto operator<=>(const CreationTime&) const = default;
};

// One file found by the scan. Its listed name is the scan's directory (one
// for every entry, kept open) and the name in the scan's storage (valid until
// CloseAllScans): a million entries cost no name copies, and the removal
// goes from it straight to the directory the scan read.
struct FileEntry {
  ListedName listed;
  int64_t size = 0;
  CreationTime created;
  FileId id;
};

using CandidateList = RecordList<FileEntry>;

// Sorts newest first (by the full creation time; entries made at the same
// moment keep the scan's order) and puts the cursor before the first entry.
void SortNewestFirst(CandidateList& list);

// Fills the list with the files the scan of directory/pattern yields; says
// so when memory ran out and the list holds only some of them.
void CollectCandidates(const RunSettings& settings, CandidateList& list);

// Removes entries whose name does not match nameExpression (when given).
// Names whose match ran into the expression's limits don't match; the run
// says how many there were.
void FilterByName(const RunSettings& settings, CandidateList& list);

// Removes the links that lead to a directory. Their targets are looked at
// only here, after the name filter, so links whose names were filtered out
// cost nothing.
void DropLinksToDirectories(CandidateList& list);

// Removes entries younger than the minimum age (when it is above 0).
void FilterByAge(const RunSettings& settings, CandidateList& list);

// Removes the spareCount newest entries.
void SpareNewest(const RunSettings& settings, CandidateList& list);

// Minimum age in seconds, computed exactly; a total beyond the 64-bit range
// counts as its nearest limit.
int64_t MinimumAge(const RunSettings& settings);
