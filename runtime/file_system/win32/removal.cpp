// Identity and removal of files on Windows. A removal opens the exact name
// relative to the kept handle (no path normalisation, no drive or
// working-directory lookup, no reparse point followed), checks that the name
// still holds the file listed and deletes through the handle it opened.
#include "runtime/file_system/win32/removal.h"

#include <winternl.h>

#include <algorithm>
#include <functional>
#include <new>
#include <string_view>
#include <vector>

#include "runtime/file_system/removal_policy.h"
#include "runtime/file_system/win32/calls.h"
#include "runtime/file_system/win32/listing.h"
#include "runtime/text_win32.h"

namespace {

// FileDispositionInfoEx; the headers declare it only for newer targets.
constexpr auto kDispositionEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);

// Opens `name` in `directory` for deletion: exactly that name (no
// normalisation of trailing dots or blanks, no device names), the entry
// itself when it is a reparse point, and never a directory.
HANDLE OpenForDeletion(HANDLE directory, const Text& name) {
  const NtOpenFileCall open = FileSystemCallTable().ntOpenFile;
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
  if (FileSystemCallTable().setInformation(file, kDispositionEx, &posix, sizeof(posix)))
    return true;
  FILE_DISPOSITION_INFO plain{TRUE};
  return FileSystemCallTable().setInformation(file, FileDispositionInfo, &plain, sizeof(plain)) !=
         0;
}

// The forms of a resolved path, tried in this order: the drive form, the NT
// form (Wine has none for names like nul.txt), and the path within its volume,
// which Wine still tells where the other two fail (beyond about 260 units).
enum PathForm { kDriveForm, kNtForm, kVolumeForm };

// The path the system resolves an open file or directory to, in `form`;
// empty when the system can't tell.
Text ResolvedPath(HANDLE handle, int form) {
  if (form == kVolumeForm) {
    std::vector<ULONGLONG> buffer((sizeof(FILE_NAME_INFO) + 0x10000) / sizeof(ULONGLONG));
    const DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(ULONGLONG));
    if (!FileSystemCallTable().getInformationEx(handle, FileNameInfo, buffer.data(), bytes)) {
      return Text();
    }
    const auto* info = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
    return FromWide(info->FileName, info->FileNameLength / sizeof(WCHAR));
  }
  const DWORD flags =
      FILE_NAME_NORMALIZED | (form == kDriveForm ? VOLUME_NAME_DOS : VOLUME_NAME_NT);
  std::vector<wchar_t> path(MAX_PATH);
  DWORD length = FileSystemCallTable().finalPath(handle, path.data(), MAX_PATH, flags);
  if (length >= MAX_PATH) {
    path.resize(length);
    length = FileSystemCallTable().finalPath(handle, path.data(), length, flags);
  }
  return length < path.size() ? FromWide(path.data(), length) : Text();
}

// The name without its trailing dots and blanks, as Wine shows it in paths.
std::u16string_view Stem(std::u16string_view name) {
  const size_t kept = name.find_last_not_of(u". ");
  return kept == std::u16string_view::npos ? std::u16string_view() : name.substr(0, kept + 1);
}

// A key of the name's stem, and of its file where `file` isn't 0.
uint64_t StemKey(std::u16string_view name, uint64_t file) {
  const uint64_t stem = std::hash<std::u16string_view>()(Stem(name));
  return file == 0 ? stem : stem ^ (file + 0x9E3779B97F4A7C15 + (stem << 6) + (stem >> 2));
}

// The stem keys of every entry that `directory` lists, with their files'
// IDs where `withFiles`, sorted; false when it can't be listed to its end.
bool ListStems(HANDLE directory, bool withFiles, std::vector<uint64_t>& keys) {
  Listing listing;
  listing.directory = directory;
  listing.buffer.reset(new ULONGLONG[kListingBytes / sizeof(ULONGLONG)]);
  if (StartListing(listing) == 0) return false;
  ListedEntry entry;
  for (;;) {
    while (TakeRecord(listing, entry)) {
      if (!Stem(entry.name).empty())
        keys.push_back(StemKey(entry.name, withFiles ? entry.fileId : 0));
    }
    if (listing.ended) break;
    if (!FetchRecords(listing)) {
      if (GetLastError() != ERROR_NO_MORE_FILES) return false;
      break;
    }
  }
  std::sort(keys.begin(), keys.end());
  return true;
}

size_t KeyCount(const std::vector<uint64_t>& keys, uint64_t key) {
  const auto range = std::equal_range(keys.begin(), keys.end(), key);
  return static_cast<size_t>(range.second - range.first);
}

// True unless a directory on `path` (a drive-form path "\\?\X:\a\b\") has a
// sibling of the same stem: Wine shows "a.\b" as "a\b", so a link into the
// twin would look like an entry of the directory itself. A directory that
// can't be listed tells nothing.
bool AncestorsClear(const Text& path) {
  constexpr std::u16string_view kLocal = u"\\\\?\\";
  constexpr std::u16string_view kNetwork = u"\\\\?\\UNC\\";
  size_t start = 0;
  if (path.starts_with(kNetwork)) {
    start = path.find(u'\\', path.find(u'\\', kNetwork.size()) + 1);  // after \\?\UNC\server\share
    start = start == Text::npos ? Text::npos : start + 1;
  } else if (path.starts_with(kLocal) && path.size() > 7 && path[5] == u':' && path[6] == u'\\') {
    start = 7;
  } else {
    return true;
  }
  while (start != Text::npos) {
    const size_t end = path.find(u'\\', start);
    if (end == Text::npos) break;
    const Text parent = path.substr(0, start);
    HANDLE handle = CreateFileW(AsWide(parent), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      std::vector<uint64_t> keys;
      const bool listed = ListStems(handle, false, keys);
      CloseHandle(handle);
      const std::u16string_view component = std::u16string_view(path).substr(start, end - start);
      if (listed && KeyCount(keys, StemKey(component, 0)) > 1) return false;
    }
    start = end + 1;
  }
  return true;
}

const Text& DirectoryPath(HANDLE directory, DirectoryFacts& facts, int form) {
  if (!facts.pathRead[form]) {
    facts.path[form] = ResolvedPath(directory, form);
    if (!facts.path[form].empty() && facts.path[form].back() != u'\\') facts.path[form] += u'\\';
    facts.pathRead[form] = true;
  }
  return facts.path[form];
}

// True when no other entry of the directory holds the same file under a name
// that differs only in trailing dots and blanks (the one difference Wine's
// resolved paths don't show: a link "keep." to "keep" looks like "keep."
// itself), and no directory on its path has such a twin.
bool Unambiguous(HANDLE directory, DirectoryFacts& facts, const Text& name, uint64_t file) {
  if (!facts.stemsRead) {
    facts.stemsKnown = ListStems(directory, true, facts.stems);
    facts.stemsRead = true;
  }
  if (!facts.stemsKnown || KeyCount(facts.stems, StemKey(name, file)) > 1) return false;
  if (!facts.ancestorsRead) {
    facts.ancestorsClear = AncestorsClear(DirectoryPath(directory, facts, kDriveForm));
    facts.ancestorsRead = true;
  }
  return facts.ancestorsClear;
}

// True when the opened file is the directory's entry `name` itself: its
// resolved path is the directory's plus that name, unit for unit (both are
// the file system's own spellings). Wine follows a Unix symbolic link even
// when asked not to and reports the target's ID; the target's path tells it
// apart. Wine shows no trailing dots or blanks in resolved paths, so the
// name without them counts too, but only where no other name could look the
// same.
bool IsEntryOf(HANDLE directory, DirectoryFacts& facts, HANDLE file, const Text& name,
               uint64_t id) try {
  for (const int form : {kDriveForm, kNtForm, kVolumeForm}) {
    const Text& expected = DirectoryPath(directory, facts, form);
    if (expected.empty()) continue;
    const Text found = ResolvedPath(file, form);
    if (found.empty()) continue;
    if (found.size() <= expected.size() || found.compare(0, expected.size(), expected) != 0) {
      return false;
    }
    const std::u16string_view last = std::u16string_view(found).substr(expected.size());
    if (last != name && last != Stem(name)) return false;
    return Unambiguous(directory, facts, name, id);
  }
  return false;
} catch (const std::bad_alloc&) {
  return false;  // the caller still closes the file
}

}  // namespace

uint64_t FoldFileId(const FILE_ID_128& id) {
  uint64_t low = 0;
  uint64_t high = 0;
  std::copy_n(id.Identifier, 8, reinterpret_cast<BYTE*>(&low));
  std::copy_n(id.Identifier + 8, 8, reinterpret_cast<BYTE*>(&high));
  return low ^ high;
}

bool ReadIdentity(HANDLE handle, FileId& id, DWORD& attributes, DWORD& links) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  attributes = info.dwFileAttributes;
  links = info.nNumberOfLinks;
  id.volume = info.dwVolumeSerialNumber;
  FILE_ID_INFO wide;
  if (FileSystemCallTable().getInformationEx(handle, FileIdInfo, &wide, sizeof(wide))) {
    id.file = FoldFileId(wide.FileId);
  } else {
    id.file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  }
  return true;
}

// What ReadIdentity tells of a file opened in a listed directory, from calls
// that don't ask for the volume (under Wine each such call costs a round trip
// to the volume's device, a tenth of a millisecond): where the 64-bit file
// index is the listed ID, the file is the one listed, on the listed volume;
// otherwise the whole identity decides (as where 128-bit IDs don't fold into
// the index).
bool ReadFacts(HANDLE file, const FileId& listed, FileId& id, DWORD& attributes, DWORD& links) {
  const NtQueryInformationFileCall query = FileSystemCallTable().ntQueryInformation;
  FILE_BASIC_INFO basic;
  FILE_STANDARD_INFO standard;
  FILE_INTERNAL_INFORMATION internal;
  IO_STATUS_BLOCK status;
  if (query == nullptr ||
      !FileSystemCallTable().getInformationEx(file, FileBasicInfo, &basic, sizeof(basic)) ||
      !FileSystemCallTable().getInformationEx(file, FileStandardInfo, &standard,
                                              sizeof(standard)) ||
      !NT_SUCCESS(query(file, &status, &internal, sizeof(internal), FileInternalInformation)) ||
      static_cast<uint64_t>(internal.IndexNumber.QuadPart) != listed.file) {
    return ReadIdentity(file, id, attributes, links);
  }
  id = listed;
  attributes = basic.FileAttributes;
  links = standard.NumberOfLinks;
  return true;
}

// Wine removes a name when the last handle closes, by the path that handle
// resolved to, and silently keeps the file when that path has come to lead
// elsewhere (a directory swapped for a link). That path is the one IsEntryOf
// compares, so such a file is refused before anything is marked, and the
// disposition's own result tells the removal: a name that no longer exists
// is never looked up again (Wine searches the whole directory for it).
int RemoveEntry(HANDLE directory, DirectoryFacts& facts, const Text& name, const FileId& id) {
  HANDLE file = OpenForDeletion(directory, name);
  if (file == INVALID_HANDLE_VALUE) return 0;
  RemovalFacts now;
  DWORD attributes = 0;
  DWORD links = 0;
  now.known = ReadFacts(file, id, now.id, attributes, links);
  now.directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  now.writeBits = (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0 : 0222;
  now.links = links;
  // Wine follows a Unix symbolic link even when asked not to.
  now.otherFile = now.known && now.id == id && !IsEntryOf(directory, facts, file, name, id.file);
  const int verdict = RemovalVerdict(now, id);
  const bool marked = verdict != 0 && DeleteThrough(file);
  CloseHandle(file);
  return marked ? verdict : 0;
}
