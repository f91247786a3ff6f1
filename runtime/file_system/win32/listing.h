// Listing a directory through an open handle on Windows, one buffer of
// records at a time: the 128-bit file IDs where the system has them, the
// 64-bit ones everywhere else.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "runtime/text.h"

inline constexpr DWORD kListingBytes = 64 * 1024;
inline constexpr DWORD kNoRecord = 0xFFFFFFFF;

// What the listing tells about one entry.
struct ListedEntry {
  Text name;
  DWORD attributes = 0;
  int64_t size = 0;
  FILETIME created{};
  FILETIME accessed{};
  FILETIME written{};
  uint64_t fileId = 0;
};

struct Listing {
  HANDLE directory = INVALID_HANDLE_VALUE;  // not owned
  bool extended = false;
  bool ended = false;
  std::unique_ptr<ULONGLONG[]> buffer;  // kListingBytes, aligned for the records
  DWORD offset = kNoRecord;             // of the next record; kNoRecord when read out
};

// Starts the listing with the 128-bit class, or the 64-bit one where the
// system doesn't know it. Nonzero when the listing started, even with nothing
// in it; 0 when the handle is no directory that can be listed.
int StartListing(Listing& listing);

// Reads the next batch of records into the buffer; false at the end of the
// listing or when the system refuses it.
bool FetchRecords(Listing& listing);

// Takes the record at the offset into `entry` and moves the offset on; false
// when the buffer is read out.
bool TakeRecord(Listing& listing, ListedEntry& entry);
