// File-system services for the Windows build. A scan opens its directory once
// and keeps that handle until CloseAllScans. It lists the entries through the
// handle and matches their long names with the tool's own wildcard matcher, so
// a short (8.3) name never matches and "<", ">" and '"' are plain characters.
// A removal opens the exact name relative to the kept handle (no path
// normalisation, no drive or working-directory lookup, no reparse point
// followed), checks that the name still holds the file listed and deletes
// through the handle it opened.
#include <windows.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "runtime/dates.h"
#include "runtime/directory_listing_win32.h"
#include "runtime/file_removal_win32.h"
#include "runtime/file_system.h"
#include "runtime/file_system_calls_win32.h"
#include "runtime/text_win32.h"
#include "runtime/wildcard.h"

const char16_t kPathSeparator = u'\\';

namespace {

// One directory scan: the listing of the kept directory handle (owned by the
// registry of kept directories, not by the scan) and the current entry.
struct Scan {
  bool open = false;
  bool idKnown = false;
  uint64_t volume = 0;
  Text patternKey;  // the pattern as the wildcard matcher compares it
  Listing listing;
  ListedEntry entry;
};

// The scan table, the directories scans opened (by directory text) and older
// handles of a directory text scanned again; one lock guards them and is held
// only while a number or a directory is looked up, taken or released.
struct ScanTable {
  CRITICAL_SECTION lock;
  std::vector<std::unique_ptr<Scan>> scans;
  std::map<Text, HANDLE> kept;
  std::vector<HANDLE> retired;
  bool lostEntries = false;  // a scan left entries out for want of memory
  ScanTable() { InitializeCriticalSection(&lock); }
};

ScanTable& Table() {
  static ScanTable* table = new ScanTable();  // lives until the process ends
  return *table;
}

class TableLock {
 public:
  TableLock() { EnterCriticalSection(&Table().lock); }
  ~TableLock() { LeaveCriticalSection(&Table().lock); }
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;
};

constexpr size_t kWorkUnits = 260;

bool IsSeparator(wchar_t unit) {
  return unit == L'\\' || unit == L'/';
}

// The scan under `number` when it has one; nullptr otherwise.
Scan* FindScan(int number) {
  if (number < 0) return nullptr;
  TableLock lock;
  std::vector<std::unique_ptr<Scan>>& scans = Table().scans;
  if (static_cast<size_t>(number) >= scans.size()) return nullptr;
  Scan* scan = scans[static_cast<size_t>(number)].get();
  return scan != nullptr && scan->open ? scan : nullptr;
}

// The slot for `number`, created (and the table grown) when needed; nullptr
// without memory.
Scan* TakeSlot(int number) {
  TableLock lock;
  std::vector<std::unique_ptr<Scan>>& scans = Table().scans;
  const size_t index = static_cast<size_t>(number);
  try {
    if (index >= scans.size()) scans.resize(index + 1);
    if (!scans[index]) scans[index] = std::make_unique<Scan>();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return scans[index].get();
}

void EndScan(Scan& scan) {
  scan.open = false;
  scan.listing = Listing{};
  scan.entry = ListedEntry{};
}

// Opens a directory for listing and for opening names relative to it; the
// empty text is the current directory. Every share mode is granted, so the
// handle never stands in anyone's way.
HANDLE OpenDirectory(const Text& directory) {
  const wchar_t* path = directory.empty() ? L"." : AsWide(directory);
  return FileSystemCallTable().createFile(
      path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Keeps a scan's directory handle until CloseAllScans.
void KeepDirectory(const Text& directory, HANDLE handle) {
  TableLock lock;
  ScanTable& table = Table();
  auto [slot, inserted] = table.kept.try_emplace(directory, handle);
  if (!inserted) {
    table.retired.push_back(slot->second);
    slot->second = handle;
  }
}

// The kept handle of a directory text; INVALID_HANDLE_VALUE when none.
HANDLE KeptDirectory(const Text& directory) {
  TableLock lock;
  const auto found = Table().kept.find(directory);
  return found == Table().kept.end() ? INVALID_HANDLE_VALUE : found->second;
}

// A name the scan hands out: the pattern matches its long name, and it holds
// no separator (only foreign file systems show such names, and joined to the
// directory they would name another file).
bool IsCandidateName(const Scan& scan, const Text& name) {
  if (name.find_first_of(u"\\/") != Text::npos) return false;
  return WildcardMatchKeys(scan.patternKey, WildcardKey(name));
}

// -2 for a drive root that exists, -1 otherwise.
int64_t DriveAnswer(const wchar_t* root) {
  return FileSystemCallTable().driveType(root) > DRIVE_NO_ROOT_DIR ? kDirectorySize : kNothingThere;
}

int64_t SizeOf(const WIN32_FIND_DATAW& entry) {
  return static_cast<int64_t>((static_cast<uint64_t>(entry.nFileSizeHigh) << 32) |
                              entry.nFileSizeLow);
}

bool IsDirectory(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The file time of 9999-12-31 23:59:59 UTC; a conversion of a later time may
// fail, and it counts as the last date value all the same.
constexpr uint64_t kLastFileTime = (253402300799 + 11644473600) * 10000000ull;

uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

int64_t PathSize(const Text& path) noexcept {
  if (path.empty()) return kNothingThere;
  wchar_t work[kWorkUnits + 2] = {};
  size_t length = std::min(path.size(), kWorkUnits);
  std::copy(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(length), work);
  if ((length == 2 || length == 3) && work[1] == L':') {
    if (length == 2) work[2] = L'\\';
    return DriveAnswer(work);
  }
  while (length > 0 && IsSeparator(work[length - 1])) work[--length] = L'\0';
  if (length == 0) return kNothingThere;
  WIN32_FIND_DATAW entry;
  HANDLE search = FileSystemCallTable().findFirst(work, &entry);
  if (search != INVALID_HANDLE_VALUE) {
    FileSystemCallTable().findClose(search);
    return IsDirectory(entry.dwFileAttributes) ? kDirectorySize : SizeOf(entry);
  }
  const bool network = work[0] == L'\\' && work[1] == L'\\';
  const bool parent = work[0] == L'.' && work[1] == L'.';
  if (!network && !parent) return kNothingThere;
  const DWORD attributes = FileSystemCallTable().attributes(work);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    return IsDirectory(attributes) ? kDirectorySize : kNothingThere;
  }
  return DriveAnswer(work);
}

int OpenScan(int number, const Text& directory, const Text& pattern) noexcept {
  if (number < 0) return 0;
  Scan* scan = TakeSlot(number);
  if (scan == nullptr) return 0;
  EndScan(*scan);
  try {
    scan->patternKey = WildcardKey(pattern.empty() ? Text(u"*.*") : pattern);
    scan->listing.buffer.reset(new ULONGLONG[kListingBytes / sizeof(ULONGLONG)]);
  } catch (const std::bad_alloc&) {
    Table().lostEntries = true;
    return 0;
  }
  HANDLE handle = OpenDirectory(directory);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  scan->listing.directory = handle;
  scan->listing.ended = false;
  scan->listing.offset = kNoRecord;
  if (StartListing(scan->listing) == 0) {
    FileSystemCallTable().closeHandle(handle);
    EndScan(*scan);
    return 0;
  }
  try {
    KeepDirectory(directory, handle);
  } catch (const std::bad_alloc&) {
    Table().lostEntries = true;
    FileSystemCallTable().closeHandle(handle);
    EndScan(*scan);
    return 0;
  }
  FileId volume;
  DWORD attributes = 0;
  DWORD links = 0;
  scan->idKnown = ReadIdentity(handle, volume, attributes, links);
  scan->volume = volume.volume;
  scan->open = true;
  return 1;
}

int NextEntry(int number) noexcept {
  Scan* scan = FindScan(number);
  if (scan == nullptr) return 0;
  try {
    while (!scan->listing.ended || scan->listing.offset != kNoRecord) {
      if (!TakeRecord(scan->listing, scan->entry)) {
        if (!FetchRecords(scan->listing)) break;
        continue;
      }
      if (IsCandidateName(*scan, scan->entry.name)) return 1;
    }
  } catch (const std::bad_alloc&) {
    // No memory for a name: the scan ends here.
    Table().lostEntries = true;
  }
  scan->listing.ended = true;
  scan->listing.offset = kNoRecord;
  scan->entry = ListedEntry{};
  return 0;
}

int EntryType(int number) noexcept {
  const Scan* scan = FindScan(number);
  if (scan == nullptr) return 0;
  return IsDirectory(scan->entry.attributes) ? kDirectoryType : kFileType;
}

Text EntryName(int number) noexcept {
  const Scan* scan = FindScan(number);
  try {
    return scan != nullptr ? scan->entry.name : Text();
  } catch (const std::bad_alloc&) {
    return Text();
  }
}

int64_t EntrySize(int number) noexcept {
  const Scan* scan = FindScan(number);
  return scan != nullptr ? scan->entry.size : 0;
}

int64_t EntryDate(int number, int selector) noexcept {
  const Scan* scan = FindScan(number);
  if (scan == nullptr) return 0;
  const FILETIME& time = selector == TimeAccessed   ? scan->entry.accessed
                         : selector == TimeModified ? scan->entry.written
                                                    : scan->entry.created;
  FILETIME local;
  SYSTEMTIME fields;
  if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &fields)) {
    return FileTimeValue(time) > kLastFileTime ? kLastDate : 0;
  }
  if (fields.wYear > 9999) return kLastDate;
  return DateFromFields(fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute,
                        fields.wSecond);
}

int EntryId(int number, FileId& id) noexcept {
  const Scan* scan = FindScan(number);
  if (scan == nullptr || !scan->idKnown || scan->entry.name.empty()) return 0;
  id = FileId{scan->volume, scan->entry.fileId};
  return 1;
}

void CloseScan(int number) noexcept {
  Scan* scan = FindScan(number);
  if (scan != nullptr) EndScan(*scan);
}

void CloseAllScans() noexcept {
  TableLock lock;
  ScanTable& table = Table();
  for (std::unique_ptr<Scan>& scan : table.scans) {
    if (scan) EndScan(*scan);
  }
  for (const auto& kept : table.kept) FileSystemCallTable().closeHandle(kept.second);
  for (HANDLE retired : table.retired) FileSystemCallTable().closeHandle(retired);
  table.kept.clear();
  table.retired.clear();
}

int RemoveFile(const Text& path, const FileId& id) noexcept {
  const size_t separator = path.find_last_of(u"\\/");
  const size_t nameStart = separator == Text::npos ? 0 : separator + 1;
  if (nameStart >= path.size()) return 0;
  try {
    // The directory text as the scan was given it: the driver joins it and
    // the name with one separator.
    const Text directory = path.substr(0, separator == Text::npos ? 0 : separator);
    const Text name = path.substr(nameStart);
    HANDLE kept = KeptDirectory(directory);
    if (kept != INVALID_HANDLE_VALUE) return RemoveEntry(kept, name, id);
    HANDLE opened = OpenDirectory(directory);
    if (opened == INVALID_HANDLE_VALUE) return 0;
    const int removed = RemoveEntry(opened, name, id);
    FileSystemCallTable().closeHandle(opened);
    return removed;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

std::u16string_view EntryNameView(int number) noexcept {
  // The search keeps only its current entry, so each name handed out is a
  // copy that lives until the process ends.
  static std::deque<Text>* kept = new std::deque<Text>();
  try {
    Text name = EntryName(number);
    if (name.empty()) return std::u16string_view();
    TableLock lock;
    kept->push_back(std::move(name));
    return kept->back();
  } catch (const std::bad_alloc&) {
    return std::u16string_view();
  }
}

int ScansLostEntries() noexcept {
  TableLock lock;
  return Table().lostEntries ? 1 : 0;
}
