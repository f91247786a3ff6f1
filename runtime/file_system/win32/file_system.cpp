// File-system services for the Windows build. A scan opens its directory once
// and keeps that handle until CloseAllScans. It lists the entries through the
// handle and matches their long names with the tool's own wildcard matcher, so
// a short (8.3) name never matches and "<", ">" and '"' are plain characters.
// A removal opens the exact name relative to the kept handle (no path
// normalisation, no drive or working-directory lookup, no reparse point
// followed), checks that the name still holds the file listed and deletes
// through the handle it opened.
#include "runtime/file_system/file_system.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "runtime/dates.h"
#include "runtime/file_system/name_block.h"
#include "runtime/file_system/win32/calls.h"
#include "runtime/file_system/win32/listing.h"
#include "runtime/file_system/win32/removal.h"
#include "runtime/file_system/win32/scan_registry.h"
#include "runtime/path.h"
#include "runtime/text_win32.h"

const char16_t kPathSeparator = u'\\';

namespace {

// One directory scan: the listing of its directory handle (owned by the
// registry, not by the scan) and the current entry.
struct Scan {
  bool idKnown = false;
  uint64_t volume = 0;
  std::optional<NameTest> names;  // which names the scan hands out
  Listing listing;
  ListedEntry entry;
  // The listing keeps only its current entry: the names handed out are
  // copies the registry keeps, none are the scan's.
  std::shared_ptr<void> ReleaseNames() { return nullptr; }
};

// A directory text scanned again gets a handle of its own, as the listing's
// position lives in the handle; the older one stays open until CloseAllScans.
using Registry = ScanRegistry<Scan>;

// Lives until the process ends: a close routine that runs on another thread
// while the process exits never finds it destroyed.
Registry& TheRegistry() {
  static Registry* registry = new Registry();
  return *registry;
}

// What the removals read of each kept directory, by its handle; guarded by
// the registry's lock.
std::map<HANDLE, DirectoryFacts>& KeptFacts() {
  static auto* facts = new std::map<HANDLE, DirectoryFacts>();
  return *facts;
}

// The path as the system takes it at any length: from MAX_PATH units on, the
// "\\?\" form of its full path, which has no such limit.
Text LongForm(const Text& path) {
  if (path.size() < MAX_PATH || path.starts_with(u"\\\\?\\") || path.starts_with(u"\\\\.\\")) {
    return path;
  }
  const DWORD needed = GetFullPathNameW(AsWide(path), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::vector<wchar_t> full(needed);
  const DWORD length = GetFullPathNameW(AsWide(path), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  const Text text = FromWide(full.data(), length);
  if (text.starts_with(u"\\\\")) return u"\\\\?\\UNC\\" + text.substr(2);
  return u"\\\\?\\" + text;
}

// Opens a directory for listing and for opening names relative to it; the
// empty text is the current directory. Every share mode is granted, so the
// handle never stands in anyone's way.
HANDLE OpenDirectory(const Text& directory) try {
  const Text path = directory.empty() ? Text(u".") : LongForm(directory);
  return CreateFileW(AsWide(path),
                     FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
} catch (const std::bad_alloc&) {
  return INVALID_HANDLE_VALUE;
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

// The file time of 9999-12-31 23:59:59 UTC; a conversion of a later time may
// fail, and it counts as the last date value all the same.
constexpr uint64_t kLastFileTime = (253402300799 + 11644473600) * 10000000ull;

uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// What PathSize answers for a path text.
int64_t PathAnswer(const Text& path) noexcept try {
  if (path.empty()) return kNothingThere;
  Text work = path;
  if ((work.size() == 2 || work.size() == 3) && work[1] == u':') {
    if (work.size() == 2) work += u'\\';
    return DriveAnswer(AsWide(work));
  }
  TrimTrailingSeparators(work, PathStyle::kWindows);
  if (work.empty()) return kNothingThere;
  const Text search = LongForm(work);
  WIN32_FIND_DATAW entry;
  HANDLE found = FindFirstFileW(AsWide(search), &entry);
  if (found != INVALID_HANDLE_VALUE) {
    FindClose(found);
    return IsDirectory(entry.dwFileAttributes) ? kDirectorySize : SizeOf(entry);
  }
  const bool network = work.starts_with(u"\\\\");
  const bool parent = work.starts_with(u"..");
  if (!network && !parent) return kNothingThere;
  const DWORD attributes = GetFileAttributesW(AsWide(search));
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    return IsDirectory(attributes) ? kDirectorySize : kNothingThere;
  }
  return DriveAnswer(AsWide(search));
} catch (const std::bad_alloc&) {
  return kNothingThere;
}

}  // namespace

// The whole value is judged, at any length; it is judged by its text, and a
// scan opens the directory a text names itself (ResolveDirectory).
ResolvedPath ResolvePath(const Text& path) noexcept {
  return ResolvedPath{PathAnswer(path), {}};
}

ScanDirectory ResolveDirectory(const Text& directory) noexcept {
  Registry& registry = TheRegistry();
  HANDLE handle = OpenDirectory(directory);
  if (handle == INVALID_HANDLE_VALUE) return {};
  const auto guard = registry.Hold();
  try {
    registry.KeepDirectory(directory, handle);
  } catch (const std::bad_alloc&) {
    registry.lostEntries = true;
    CloseHandle(handle);
    return {};
  }
  return {reinterpret_cast<intptr_t>(handle), 0};
}

int OpenScan(int number, const ScanDirectory& directory, const Text& pattern) noexcept {
  Registry& registry = TheRegistry();
  const auto guard = registry.Hold();
  registry.Retire(number);
  if (number < 0) return 0;
  Scan scan;
  try {
    scan.names.emplace(pattern);
    scan.listing.buffer.reset(new ULONGLONG[kListingBytes / sizeof(ULONGLONG)]);
  } catch (const std::bad_alloc&) {
    registry.lostEntries = true;
    return 0;
  }
  // Kept by ResolveDirectory until CloseAllScans.
  HANDLE handle = reinterpret_cast<HANDLE>(directory.handle);
  if (!directory.Opened() || handle == nullptr) return 0;
  scan.listing.directory = handle;
  if (StartListing(scan.listing) == 0) return 0;
  FileId volume;
  DWORD attributes = 0;
  DWORD links = 0;
  scan.idKnown = ReadIdentity(handle, volume, attributes, links);
  scan.volume = volume.volume;
  try {
    registry.Store(number, std::move(scan));
  } catch (const std::bad_alloc&) {
    registry.lostEntries = true;  // the handle stays kept until CloseAllScans
    return 0;
  }
  return 1;
}

int NextEntry(int number) noexcept {
  Registry& registry = TheRegistry();
  const auto guard = registry.Hold();
  Scan* scan = registry.Find(number);
  if (scan == nullptr) return 0;
  try {
    while (!scan->listing.ended || scan->listing.offset != kNoRecord) {
      if (!TakeRecord(scan->listing, scan->entry)) {
        if (!FetchRecords(scan->listing)) break;
        continue;
      }
      if (scan->names->Matches(scan->entry.name)) return 1;
    }
  } catch (const std::bad_alloc&) {
    // No memory for a name: the scan ends here.
    registry.lostEntries = true;
  }
  scan->listing.ended = true;
  scan->listing.offset = kNoRecord;
  scan->entry = ListedEntry{};
  return 0;
}

int EntryType(int number) noexcept {
  const auto guard = TheRegistry().Hold();
  const Scan* scan = TheRegistry().Find(number);
  if (scan == nullptr) return 0;
  return IsDirectory(scan->entry.attributes) ? kDirectoryType : kFileType;
}

Text EntryName(int number) noexcept {
  const auto guard = TheRegistry().Hold();
  const Scan* scan = TheRegistry().Find(number);
  try {
    return scan != nullptr ? scan->entry.name : Text();
  } catch (const std::bad_alloc&) {
    return Text();
  }
}

ListedName EntryListedName(int number) noexcept {
  const auto guard = TheRegistry().Hold();
  const Scan* scan = TheRegistry().Find(number);
  if (scan == nullptr || scan->entry.name.empty()) return ListedName{};
  try {
    return ListedName{reinterpret_cast<intptr_t>(scan->listing.directory),
                      TheRegistry().KeepName(scan->entry.name)};
  } catch (const std::bad_alloc&) {
    return ListedName{};
  }
}

int64_t EntrySize(int number) noexcept {
  const auto guard = TheRegistry().Hold();
  const Scan* scan = TheRegistry().Find(number);
  return scan != nullptr ? scan->entry.size : 0;
}

int64_t EntryDate(int number, int selector) noexcept {
  const auto guard = TheRegistry().Hold();
  const Scan* scan = TheRegistry().Find(number);
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

uint32_t EntryCreationFraction(int number) noexcept {
  const auto guard = TheRegistry().Hold();
  const Scan* scan = TheRegistry().Find(number);
  if (scan == nullptr) return 0;
  constexpr uint64_t kTicksPerSecond = 10000000;  // of 100 ns
  return static_cast<uint32_t>(FileTimeValue(scan->entry.created) % kTicksPerSecond * 100);
}

int EntryId(int number, FileId& id) noexcept {
  const auto guard = TheRegistry().Hold();
  const Scan* scan = TheRegistry().Find(number);
  if (scan == nullptr || !scan->idKnown || scan->entry.name.empty()) return 0;
  id = FileId{scan->volume, scan->entry.fileId};
  return 1;
}

void CloseScan(int number) noexcept {
  const auto guard = TheRegistry().Hold();
  TheRegistry().Retire(number);
}

void CloseAllScans() noexcept {
  const auto guard = TheRegistry().Hold();
  KeptFacts().clear();
  TheRegistry().Clear([](HANDLE handle) { CloseHandle(handle); });
}

// The listing reports a link to a directory as a directory itself.
int IsLinkToDirectory(const ListedName&, const FileId&) noexcept {
  return 0;
}

int RemoveFile(const ListedName& listed, const FileId& id) noexcept {
  // The scan's own handle, kept until CloseAllScans; a name holding a
  // separator was never listed.
  HANDLE kept = reinterpret_cast<HANDLE>(listed.directory);
  if (kept == INVALID_HANDLE_VALUE || kept == nullptr || listed.name.empty() ||
      listed.name.find_first_of(u"\\/") != std::u16string_view::npos) {
    return 0;
  }
  try {
    const Text name(listed.name);
    const auto guard = TheRegistry().Hold();
    return RemoveEntry(kept, KeptFacts()[kept], name, id);
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int ScansLostEntries() noexcept {
  const auto guard = TheRegistry().Hold();
  return TheRegistry().lostEntries ? 1 : 0;
}
