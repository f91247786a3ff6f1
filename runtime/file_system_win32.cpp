// File-system services for the Windows build. A scan opens its directory once
// and keeps that handle until CloseAllScans. It lists the entries through the
// handle and matches their long names with the tool's own wildcard matcher, so
// a short (8.3) name never matches and "<", ">" and '"' are plain characters.
// A removal opens the exact name relative to the kept handle (no path
// normalisation, no drive or working-directory lookup, no reparse point
// followed), checks that the name still holds the file listed and deletes
// through the handle it opened.
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "runtime/dates.h"
#include "runtime/file_system.h"
#include "runtime/text_win32.h"
#include "runtime/wildcard.h"

const char16_t kPathSeparator = u'\\';

namespace {

// Directory listing classes: the 128-bit file IDs where the system has them,
// the 64-bit ones everywhere else.
constexpr auto kExtendedRestart = FileIdExtdDirectoryRestartInfo;
constexpr auto kExtendedNext = FileIdExtdDirectoryInfo;
constexpr auto kBothRestart = FileIdBothDirectoryRestartInfo;
constexpr auto kBothNext = FileIdBothDirectoryInfo;
// FileDispositionInfoEx; the headers declare it only for newer targets.
constexpr auto kDispositionEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);

constexpr DWORD kListingBytes = 64 * 1024;

// What the listing tells about one entry.
struct Entry {
  Text name;
  DWORD attributes = 0;
  int64_t size = 0;
  FILETIME created{};
  FILETIME accessed{};
  FILETIME written{};
  uint64_t fileId = 0;
};

// One directory scan: the kept directory handle (owned by the registry of
// kept directories, not by the scan), the listing buffer and the current entry.
struct Scan {
  bool open = false;
  HANDLE directory = INVALID_HANDLE_VALUE;
  bool idKnown = false;
  uint64_t volume = 0;
  Text patternKey;  // the pattern as the wildcard matcher compares it
  bool extended = false;
  bool ended = false;
  std::unique_ptr<ULONGLONG[]> listing;  // aligned for the records
  DWORD offset = 0;                      // of the next record; kNoRecord when read out
  Entry entry;
};

constexpr DWORD kNoRecord = 0xFFFFFFFF;

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
  scan.directory = INVALID_HANDLE_VALUE;
  scan.listing.reset();
  scan.entry = Entry{};
}

// Opens a directory for listing and for opening names relative to it; the
// empty text is the current directory. Every share mode is granted, so the
// handle never stands in anyone's way.
HANDLE OpenDirectory(const Text& directory) {
  const wchar_t* path = directory.empty() ? L"." : AsWide(directory);
  return CreateFileW(path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
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

// A 128-bit file ID in 64 bits: NTFS's IDs have a zero upper half and stay
// exact; on file systems with wider IDs the halves are folded together.
uint64_t FoldFileId(const FILE_ID_128& id) {
  uint64_t low = 0;
  uint64_t high = 0;
  std::copy_n(id.Identifier, 8, reinterpret_cast<BYTE*>(&low));
  std::copy_n(id.Identifier + 8, 8, reinterpret_cast<BYTE*>(&high));
  return low ^ high;
}

// Volume serial and file ID of an open file or directory, the 128-bit ID
// where the system tells it. The attributes and the number of names (hard
// links) come along.
bool ReadIdentity(HANDLE handle, FileId& id, DWORD& attributes, DWORD& links) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  attributes = info.dwFileAttributes;
  links = info.nNumberOfLinks;
  id.volume = info.dwVolumeSerialNumber;
  FILE_ID_INFO wide;
  if (GetFileInformationByHandleEx(handle, FileIdInfo, &wide, sizeof(wide))) {
    id.file = FoldFileId(wide.FileId);
  } else {
    id.file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  }
  return true;
}

int64_t LargeValue(const LARGE_INTEGER& value) {
  return value.QuadPart;
}

FILETIME TimeOf(const LARGE_INTEGER& value) {
  return FILETIME{value.LowPart, static_cast<DWORD>(value.HighPart)};
}

// Copies one listing record into `entry`; both record kinds share the
// leading fields.
template <typename Record>
void ReadRecord(const Record& record, Entry& entry) {
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

// Reads the next batch of records into the scan's buffer; false at the end
// of the listing or when the system refuses it.
bool FetchRecords(Scan& scan) {
  const auto kind = scan.extended ? kExtendedNext : kBothNext;
  if (!GetFileInformationByHandleEx(scan.directory, kind, scan.listing.get(), kListingBytes)) {
    scan.ended = true;
    return false;
  }
  scan.offset = 0;
  return true;
}

// Starts the listing with the 128-bit class, or the 64-bit one where the
// system doesn't know it. Nonzero when the listing started, even with nothing
// in it; 0 when the handle is no directory that can be listed.
int StartListing(Scan& scan) {
  void* buffer = scan.listing.get();
  scan.extended = true;
  if (!GetFileInformationByHandleEx(scan.directory, kExtendedRestart, buffer, kListingBytes)) {
    const DWORD error = GetLastError();
    if (error == ERROR_NO_MORE_FILES || error == ERROR_FILE_NOT_FOUND) {
      scan.ended = true;
      return 1;
    }
    scan.extended = false;
    if (!GetFileInformationByHandleEx(scan.directory, kBothRestart, buffer, kListingBytes)) {
      const DWORD bothError = GetLastError();
      scan.ended = true;
      return bothError == ERROR_NO_MORE_FILES || bothError == ERROR_FILE_NOT_FOUND ? 1 : 0;
    }
  }
  scan.offset = 0;
  return 1;
}

// Takes the record at the scan's offset into the current entry and moves the
// offset on; false when the buffer is read out.
bool TakeRecord(Scan& scan) {
  if (scan.offset == kNoRecord) return false;
  const BYTE* at = reinterpret_cast<const BYTE*>(scan.listing.get()) + scan.offset;
  ULONG next = 0;
  if (scan.extended) {
    const auto& record = *reinterpret_cast<const FILE_ID_EXTD_DIR_INFO*>(at);
    ReadRecord(record, scan.entry);
    scan.entry.fileId = RecordFileId(record);
    next = record.NextEntryOffset;
  } else {
    const auto& record = *reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
    ReadRecord(record, scan.entry);
    scan.entry.fileId = RecordFileId(record);
    next = record.NextEntryOffset;
  }
  scan.offset = next == 0 ? kNoRecord : scan.offset + next;
  return true;
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
  return GetDriveTypeW(root) > DRIVE_NO_ROOT_DIR ? kDirectorySize : kNothingThere;
}

int64_t SizeOf(const WIN32_FIND_DATAW& entry) {
  return static_cast<int64_t>((static_cast<uint64_t>(entry.nFileSizeHigh) << 32) |
                              entry.nFileSizeLow);
}

bool IsDirectory(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

using NtOpenFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        ULONG, ULONG);

// NtOpenFile from ntdll, which every process has loaded; looked up at run
// time so the executable imports nothing beyond kernel32, user32 and msvcrt.
NtOpenFileCall NtOpenFileEntry() {
  static const NtOpenFileCall call = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return static_cast<NtOpenFileCall>(nullptr);
    return reinterpret_cast<NtOpenFileCall>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtOpenFile")));
  }();
  return call;
}

// Opens `name` in `directory` for deletion: exactly that name (no
// normalisation of trailing dots or blanks, no device names), the entry
// itself when it is a reparse point, and never a directory.
HANDLE OpenForDeletion(HANDLE directory, const Text& name) {
  const NtOpenFileCall open = NtOpenFileEntry();
  const size_t bytes = name.size() * sizeof(char16_t);
  if (open == nullptr || bytes == 0 || bytes > 0xFFFE) return INVALID_HANDLE_VALUE;
  UNICODE_STRING objectName;
  objectName.Buffer = const_cast<PWSTR>(AsWide(name));
  objectName.Length = static_cast<USHORT>(bytes);
  objectName.MaximumLength = static_cast<USHORT>(bytes);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &objectName, 0, directory, nullptr);
  IO_STATUS_BLOCK status;
  HANDLE file = INVALID_HANDLE_VALUE;
  const NTSTATUS result =
      open(&file, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &status,
           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
           FILE_OPEN_REPARSE_POINT | FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT);
  return NT_SUCCESS(result) ? file : INVALID_HANDLE_VALUE;
}

// Marks an open file for deletion: with POSIX semantics (the name goes at
// once) where the system has them, else the plain disposition, which removes
// the name when the last handle closes. Both refuse a read-only file.
bool DeleteThrough(HANDLE file) {
  FILE_DISPOSITION_INFO_EX posix{FILE_DISPOSITION_FLAG_DELETE |
                                 FILE_DISPOSITION_FLAG_POSIX_SEMANTICS};
  if (SetFileInformationByHandle(file, kDispositionEx, &posix, sizeof(posix))) return true;
  FILE_DISPOSITION_INFO plain{TRUE};
  return SetFileInformationByHandle(file, FileDispositionInfo, &plain, sizeof(plain)) != 0;
}

// True when `name` in `directory` opens as the file `id` names. A name being
// deleted doesn't open any more.
bool StillHolds(HANDLE directory, const Text& name, const FileId& id) {
  HANDLE file = OpenForDeletion(directory, name);
  if (file == INVALID_HANDLE_VALUE) return false;
  FileId now;
  DWORD attributes = 0;
  DWORD links = 0;
  const bool same = ReadIdentity(file, now, attributes, links) && now == id;
  CloseHandle(file);
  return same;
}

// The path the system resolves an open file or directory to, with the
// volume in the form `volume` names; empty when the system can't tell.
Text FinalPath(HANDLE handle, DWORD volume) {
  const DWORD flags = FILE_NAME_NORMALIZED | volume;
  std::vector<wchar_t> path(MAX_PATH);
  DWORD length = GetFinalPathNameByHandleW(handle, path.data(), MAX_PATH, flags);
  if (length >= MAX_PATH) {
    path.resize(length);
    length = GetFinalPathNameByHandleW(handle, path.data(), length, flags);
  }
  return length < path.size() ? FromWide(path.data(), length) : Text();
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  return CompareStringOrdinal(reinterpret_cast<const wchar_t*>(a.data()),
                              static_cast<int>(a.size()),
                              reinterpret_cast<const wchar_t*>(b.data()),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// True when the opened file is the directory's entry `name` itself: its final
// path is the directory's plus that name. Wine follows a Unix symbolic link
// even when asked not to and reports the target's ID; the target's path tells
// it apart. Wine shows names without trailing dots and blanks in final paths,
// and no NT form for names like nul.txt, so the drive form is tried first.
bool IsEntryOf(HANDLE directory, HANDLE file, const Text& name) try {
  for (const DWORD volume : {VOLUME_NAME_DOS, VOLUME_NAME_NT}) {
    Text expected = FinalPath(directory, volume);
    const Text found = FinalPath(file, volume);
    if (expected.empty() || found.empty()) continue;
    if (expected.back() != u'\\') expected += u'\\';
    if (found.size() <= expected.size() || !SameName(found.substr(0, expected.size()), expected)) {
      return false;
    }
    const std::u16string_view last = std::u16string_view(found).substr(expected.size());
    const size_t kept = name.find_last_not_of(u". ");
    return SameName(last, name) || (kept != Text::npos && SameName(last, name.substr(0, kept + 1)));
  }
  return false;
} catch (const std::bad_alloc&) {
  return false;  // the caller still closes the file
}

// Removes one name in an open directory when it still is the file `id`
// names, and that file is the entry itself, not what a link leads to; a
// read-only file stays. Success is told only when the name no longer holds
// that file: Wine removes a name when the handle closes, by its path, and
// silently keeps it when that path has come to lead elsewhere.
int RemoveEntry(HANDLE directory, const Text& name, const FileId& id) {
  HANDLE file = OpenForDeletion(directory, name);
  if (file == INVALID_HANDLE_VALUE) return 0;
  FileId now;
  DWORD attributes = 0;
  DWORD links = 0;
  const bool same =
      ReadIdentity(file, now, attributes, links) && now == id && IsEntryOf(directory, file, name);
  const bool marked = same && (attributes & FILE_ATTRIBUTE_READONLY) == 0 && DeleteThrough(file);
  CloseHandle(file);
  if (!marked || StillHolds(directory, name, id)) return 0;
  return links == 1 ? kRemovedFile : kRemovedName;
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

int OpenScan(int number, const Text& directory, const Text& pattern) noexcept {
  if (number < 0) return 0;
  Scan* scan = TakeSlot(number);
  if (scan == nullptr) return 0;
  EndScan(*scan);
  try {
    scan->patternKey = WildcardKey(pattern.empty() ? Text(u"*.*") : pattern);
    scan->listing.reset(new ULONGLONG[kListingBytes / sizeof(ULONGLONG)]);
  } catch (const std::bad_alloc&) {
    Table().lostEntries = true;
    return 0;
  }
  HANDLE handle = OpenDirectory(directory);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  scan->directory = handle;
  scan->ended = false;
  scan->offset = kNoRecord;
  if (StartListing(*scan) == 0) {
    CloseHandle(handle);
    EndScan(*scan);
    return 0;
  }
  try {
    KeepDirectory(directory, handle);
  } catch (const std::bad_alloc&) {
    Table().lostEntries = true;
    CloseHandle(handle);
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
    while (!scan->ended || scan->offset != kNoRecord) {
      if (!TakeRecord(*scan)) {
        if (!FetchRecords(*scan)) break;
        continue;
      }
      if (IsCandidateName(*scan, scan->entry.name)) return 1;
    }
  } catch (const std::bad_alloc&) {
    // No memory for a name: the scan ends here.
    Table().lostEntries = true;
  }
  scan->ended = true;
  scan->offset = kNoRecord;
  scan->entry = Entry{};
  return 0;
}

int EntryType(int number) noexcept {
  const Scan* scan = FindScan(number);
  if (scan == nullptr) return 0;
  return IsDirectory(scan->entry.attributes) ? kDirectoryType : kFileType;
}

Text EntryName(int number) noexcept {
  const Scan* scan = FindScan(number);
  return scan != nullptr ? scan->entry.name : Text();
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
  for (const auto& kept : table.kept) CloseHandle(kept.second);
  for (HANDLE retired : table.retired) CloseHandle(retired);
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
    CloseHandle(opened);
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
