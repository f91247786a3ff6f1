#include "runtime/file_system/win32/listing.h"

#include "runtime/file_system/win32/calls.h"
#include "runtime/file_system/win32/removal.h"
#include "runtime/text_win32.h"

namespace {

constexpr auto kExtendedRestart = FileIdExtdDirectoryRestartInfo;
constexpr auto kExtendedNext = FileIdExtdDirectoryInfo;
constexpr auto kBothRestart = FileIdBothDirectoryRestartInfo;
constexpr auto kBothNext = FileIdBothDirectoryInfo;

int64_t LargeValue(const LARGE_INTEGER& value) {
  return value.QuadPart;
}

FILETIME TimeOf(const LARGE_INTEGER& value) {
  return FILETIME{value.LowPart, static_cast<DWORD>(value.HighPart)};
}

// Copies one listing record into `entry`; both record kinds share the
// leading fields.
template <typename Record>
void ReadRecord(const Record& record, ListedEntry& entry) {
  entry.name = FromWide(record.FileName, record.FileNameLength / sizeof(WCHAR));
  entry.attributes = record.FileAttributes;
  entry.size = LargeValue(record.EndOfFile);
  entry.created = TimeOf(record.CreationTime);
  entry.accessed = TimeOf(record.LastAccessTime);
  entry.written = TimeOf(record.LastWriteTime);
}

uint64_t RecordFileId(const FILE_ID_EXTD_DIR_INFO& record) {
  return FoldFileId(record.FileId);
}

uint64_t RecordFileId(const FILE_ID_BOTH_DIR_INFO& record) {
  return static_cast<uint64_t>(record.FileId.QuadPart);
}

}  // namespace

bool FetchRecords(Listing& listing) {
  const auto kind = listing.extended ? kExtendedNext : kBothNext;
  if (!FileSystemCallTable().getInformationEx(listing.directory, kind, listing.buffer.get(),
                                              kListingBytes)) {
    listing.ended = true;
    return false;
  }
  listing.offset = 0;
  return true;
}

int StartListing(Listing& listing) {
  void* buffer = listing.buffer.get();
  listing.extended = true;
  if (!FileSystemCallTable().getInformationEx(listing.directory, kExtendedRestart, buffer,
                                              kListingBytes)) {
    const DWORD error = GetLastError();
    if (error == ERROR_NO_MORE_FILES || error == ERROR_FILE_NOT_FOUND) {
      listing.ended = true;
      return 1;
    }
    listing.extended = false;
    if (!FileSystemCallTable().getInformationEx(listing.directory, kBothRestart, buffer,
                                                kListingBytes)) {
      const DWORD bothError = GetLastError();
      listing.ended = true;
      return bothError == ERROR_NO_MORE_FILES || bothError == ERROR_FILE_NOT_FOUND ? 1 : 0;
    }
  }
  listing.offset = 0;
  return 1;
}

bool TakeRecord(Listing& listing, ListedEntry& entry) {
  if (listing.offset == kNoRecord) return false;
  const BYTE* at = reinterpret_cast<const BYTE*>(listing.buffer.get()) + listing.offset;
  ULONG next = 0;
  if (listing.extended) {
    const auto& record = *reinterpret_cast<const FILE_ID_EXTD_DIR_INFO*>(at);
    ReadRecord(record, entry);
    entry.fileId = RecordFileId(record);
    next = record.NextEntryOffset;
  } else {
    const auto& record = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
    ReadRecord(record, entry);
    entry.fileId = RecordFileId(record);
    next = record.NextEntryOffset;
  }
  listing.offset = next == 0 ? kNoRecord : listing.offset + next;
  return true;
}
