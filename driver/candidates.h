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

// One file found by the scan, packed into 56 bytes: a directory of a
// million files keeps a million of them at once. The name stays in the
// scan's storage (valid until CloseAllScans, a NUL after it), so it costs no
// copy; the directory is the scan's (one for every entry, kept open), so the
// removal goes from the entry straight to the directory the scan read.
struct FileEntry {
  const NameUnit* name = nullptr;
  int64_t size = 0;
  int64_t createdDate = 0;
  uint64_t volume = 0;
  uint64_t file = 0;
  uint64_t birth = 0;
  int32_t directory = -1;
  uint32_t createdNanoseconds : 31 = 0;
  uint32_t link : 1 = 0;

  // Whether the listed name's directory fits the packed form (every
  // platform's does: a descriptor, or a handle, whose upper half is its
  // lower half's sign).
  static bool Fits(const ListedName& listed) {
    return listed.directory == static_cast<int32_t>(listed.directory);
  }
  // Takes a listed name that fits and the identity.
  void Keep(const ListedName& listed, const FileId& id);
  NativeName Name() const { return NativeName(name); }
  ListedName Listed() const { return ListedName{directory, Name()}; }
  FileId Id() const { return FileId{volume, file, birth, link != 0}; }
  CreationTime Created() const { return CreationTime{createdDate, createdNanoseconds}; }
};

using CandidateList = RecordList<FileEntry>;
static_assert(sizeof(RecordNode<FileEntry>) <= 64, "a candidate costs at most 64 bytes");

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
