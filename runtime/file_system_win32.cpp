// File-system services for the Windows build: the system's directory search
// (FindFirstFileW/FindNextFileW), attributes, drive types and DeleteFileW.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <deque>
#include <memory>
#include <new>
#include <vector>

#include "runtime/dates.h"
#include "runtime/file_system.h"
#include "runtime/text_win32.h"

const char16_t kPathSeparator = u'\\';

namespace {

// One directory scan. The search is a handle, *empty* (nothing matched) or
// *none* (no scan under the number).
struct Scan {
  enum class Search { kNone, kEmpty, kOpen };
  Search search = Search::kNone;
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool firstPending = false;
  WIN32_FIND_DATAW entry{};
};

// The scan table and its lock; the lock is held only while a number is
// looked up, taken or released.
struct ScanTable {
  CRITICAL_SECTION lock;
  std::vector<std::unique_ptr<Scan>> scans;
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
  return scan != nullptr && scan->search != Scan::Search::kNone ? scan : nullptr;
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

void EndSearch(Scan& scan) {
  if (scan.search == Scan::Search::kOpen) FindClose(scan.handle);
  scan.search = Scan::Search::kNone;
  scan.handle = INVALID_HANDLE_VALUE;
  scan.firstPending = false;
}

// -2 for a drive root that exists, -1 otherwise.
int64_t DriveAnswer(const wchar_t* root) {
  return GetDriveTypeW(root) > DRIVE_NO_ROOT_DIR ? kDirectorySize : kNothingThere;
}

int64_t SizeOf(const WIN32_FIND_DATAW& entry) {
  return static_cast<int64_t>((static_cast<uint64_t>(entry.nFileSizeHigh) << 32) |
                              entry.nFileSizeLow);
}

bool IsDirectory(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

int64_t PathSize(const Text& path) {
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
  HANDLE search = FindFirstFileW(work, &entry);
  if (search != INVALID_HANDLE_VALUE) {
    FindClose(search);
    return IsDirectory(entry.dwFileAttributes) ? kDirectorySize : SizeOf(entry);
  }
  const bool network = work[0] == L'\\' && work[1] == L'\\';
  const bool parent = work[0] == L'.' && work[1] == L'.';
  if (!network && !parent) return kNothingThere;
  const DWORD attributes = GetFileAttributesW(work);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    return IsDirectory(attributes) ? kDirectorySize : kNothingThere;
  }
  return DriveAnswer(work);
}

int OpenScan(int number, const Text& directory, const Text& pattern) {
  if (number < 0) return 0;
  Text search;
  try {
    search.reserve(directory.size() + pattern.size() + 2);
    search = directory;
    // Only a final "\" counts as the separator; after a "/" one is added.
    if (!search.empty() && search.back() != u'\\') search += u'\\';
    search += pattern.empty() ? Text(u"*.*") : pattern;
  } catch (const std::bad_alloc&) {
    return 0;
  }
  Scan* scan = TakeSlot(number);
  if (scan == nullptr) return 0;
  EndSearch(*scan);
  scan->entry = WIN32_FIND_DATAW{};
  HANDLE handle = FindFirstFileW(AsWide(search), &scan->entry);
  if (handle != INVALID_HANDLE_VALUE) {
    scan->search = Scan::Search::kOpen;
    scan->handle = handle;
    scan->firstPending = true;
    return 1;
  }
  if (GetLastError() == ERROR_FILE_NOT_FOUND) {
    scan->search = Scan::Search::kEmpty;
    return 1;
  }
  return 0;
}

int NextEntry(int number) {
  Scan* scan = FindScan(number);
  if (scan == nullptr || scan->search == Scan::Search::kEmpty) return 0;
  if (scan->firstPending) {
    scan->firstPending = false;
    return 1;
  }
  return FindNextFileW(scan->handle, &scan->entry) ? 1 : 0;
}

int EntryType(int number) {
  const Scan* scan = FindScan(number);
  if (scan == nullptr) return 0;
  return IsDirectory(scan->entry.dwFileAttributes) ? 2 : 1;
}

Text EntryName(int number) {
  const Scan* scan = FindScan(number);
  if (scan == nullptr) return Text();
  const wchar_t* name = scan->entry.cFileName;
  return FromWide(name, wcsnlen(name, MAX_PATH));
}

int64_t EntrySize(int number) {
  const Scan* scan = FindScan(number);
  return scan != nullptr ? SizeOf(scan->entry) : 0;
}

int64_t EntryDate(int number, int selector) {
  const Scan* scan = FindScan(number);
  if (scan == nullptr) return 0;
  const FILETIME& time = selector == 1   ? scan->entry.ftLastAccessTime
                         : selector == 2 ? scan->entry.ftLastWriteTime
                                         : scan->entry.ftCreationTime;
  FILETIME local;
  SYSTEMTIME fields;
  if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &fields)) return 0;
  return DateFromFields(fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute,
                        fields.wSecond);
}

int EntryId(int number, FileId& id) {
  const Scan* scan = FindScan(number);
  if (scan == nullptr) return 0;
  id = FileId{};
  return 1;
}

void CloseScan(int number) {
  Scan* scan = FindScan(number);
  if (scan != nullptr) EndSearch(*scan);
}

void CloseAllScans() {
  TableLock lock;
  for (std::unique_ptr<Scan>& scan : Table().scans) {
    if (scan) EndSearch(*scan);
  }
}

int RemoveFile(const Text& path, const FileId&) {
  return DeleteFileW(AsWide(path)) ? 1 : 0;
}

std::u16string_view EntryNameView(int number) {
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
