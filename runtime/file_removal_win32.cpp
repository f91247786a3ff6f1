// Identity and removal of files on Windows. A removal opens the exact name
// relative to the kept handle (no path normalisation, no drive or
// working-directory lookup, no reparse point followed), checks that the name
// still holds the file listed and deletes through the handle it opened.
#include "runtime/file_removal_win32.h"

#include <winternl.h>

#include <algorithm>
#include <new>
#include <vector>

#include "runtime/file_system_calls_win32.h"
#include "runtime/fs/removal_policy.h"
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

// True when `name` in `directory` opens as the file `id` names. A name being
// deleted doesn't open any more.
bool StillHolds(HANDLE directory, const Text& name, const FileId& id) {
  HANDLE file = OpenForDeletion(directory, name);
  if (file == INVALID_HANDLE_VALUE) return false;
  FileId now;
  DWORD attributes = 0;
  DWORD links = 0;
  const bool same = ReadIdentity(file, now, attributes, links) && now == id;
  FileSystemCallTable().closeHandle(file);
  return same;
}

// The path the system resolves an open file or directory to, with the
// volume in the form `volume` names; empty when the system can't tell.
Text FinalPath(HANDLE handle, DWORD volume) {
  const DWORD flags = FILE_NAME_NORMALIZED | volume;
  std::vector<wchar_t> path(MAX_PATH);
  DWORD length = FileSystemCallTable().finalPath(handle, path.data(), MAX_PATH, flags);
  if (length >= MAX_PATH) {
    path.resize(length);
    length = FileSystemCallTable().finalPath(handle, path.data(), length, flags);
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
  if (!FileSystemCallTable().getInformation(handle, &info)) return false;
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

// Success is told only when the name no longer holds the file: Wine removes
// a name when the handle closes, by its path, and silently keeps it when that
// path has come to lead elsewhere.
int RemoveEntry(HANDLE directory, const Text& name, const FileId& id) {
  HANDLE file = OpenForDeletion(directory, name);
  if (file == INVALID_HANDLE_VALUE) return 0;
  RemovalFacts now;
  DWORD attributes = 0;
  DWORD links = 0;
  now.known = ReadIdentity(file, now.id, attributes, links);
  now.directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  now.writeBits = (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0 : 0222;
  now.links = links;
  // Wine follows a Unix symbolic link even when asked not to.
  now.otherFile = now.known && now.id == id && !IsEntryOf(directory, file, name);
  const int verdict = RemovalVerdict(now, id);
  const bool marked = verdict != 0 && DeleteThrough(file);
  FileSystemCallTable().closeHandle(file);
  if (!marked || StillHolds(directory, name, id)) return 0;
  return verdict;
}
