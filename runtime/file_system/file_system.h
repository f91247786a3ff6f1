// The tool's only contact with the file system: what a path names, the
// entries of one directory that match a pattern, and the removal of a file.
// Failures are answered with plain values, also when memory runs out;
// nothing is printed and nothing is thrown.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/native_name.h"
#include "runtime/text.h"

// Separator the tool puts between a directory and a name.
extern const char16_t kPathSeparator;

inline constexpr int64_t kNothingThere = -1;
inline constexpr int64_t kDirectorySize = -2;

// Entry types that EntryType answers; 0 when there is no scan.
inline constexpr int kFileType = 1;
inline constexpr int kDirectoryType = 2;

// Time selectors of EntryDate; any other value selects the creation time.
enum TimeSelector : int { TimeCreated = 0, TimeAccessed = 1, TimeModified = 2 };

// A directory the service opened for scans and keeps until CloseAllScans:
// the descriptor on POSIX, the handle on Windows, -1 for none; and on POSIX
// its device.
struct ScanDirectory {
  intptr_t handle = -1;
  uint64_t device = 0;
  bool Opened() const { return handle != -1; }
};

// What a path names, found once. `size`: the size of the file (of its first
// match when the last component holds wildcards); -2 for a directory or
// drive; -1 when nothing usable. `directory`: when `size` is -2 and the
// platform opened that directory on the way (POSIX, through trusted links
// only), the directory itself, which a scan of it must read (a link swapped
// since can't redirect the scan); else none.
struct ResolvedPath {
  int64_t size = kNothingThere;
  ScanDirectory directory;
};
ResolvedPath ResolvePath(const Text& path) noexcept;

inline int64_t PathSize(const Text& path) noexcept {
  return ResolvePath(path).size;
}

// Opens the directory a text names (the empty text is the current one) for
// scans; none when it names no directory that may be used. POSIX resolves
// each text once per run and answers that one descriptor again.
ScanDirectory ResolveDirectory(const Text& directory) noexcept;

// Starts scan `number` of `directory` with `pattern` (empty: "*.*"). Nonzero
// when a scan is open (it may have no entries), 0 when it could not start.
int OpenScan(int number, const ScanDirectory& directory, const Text& pattern) noexcept;

// The same for a directory text.
inline int OpenScan(int number, const Text& directory, const Text& pattern) noexcept {
  return OpenScan(number, ResolveDirectory(directory), pattern);
}

// Makes the next entry current; 0 at the end or without a scan.
int NextEntry(int number) noexcept;

// kFileType, kDirectoryType, or 0 without a scan.
int EntryType(int number) noexcept;

// The current entry's name; empty without a scan.
Text EntryName(int number) noexcept;

// A name as a scan listed it: the directory the scan opened (kept open until
// CloseAllScans: a descriptor on POSIX, a handle on Windows) and the name as
// the system spelled it, in the platform's form, stored once by the service
// with a NUL after it (a listed name holds none). Both stay valid and unchanged until
// CloseAllScans, also after CloseScan, so a caller that keeps every name of a large directory needs
// no storage of its own, and a removal goes from it straight to the directory the scan read.
struct ListedName {
  intptr_t directory = -1;
  NativeName name;
};

// The current entry as listed; an empty name without a scan.
ListedName EntryListedName(int number) noexcept;

// The current entry's size in bytes; 0 without a scan.
int64_t EntrySize(int number) noexcept;

// Date value of the current entry's time (a TimeSelector). 0 without a scan
// or when the time can't be converted, -1 outside the range of date values.
int64_t EntryDate(int number, int selector) noexcept;

// Nanoseconds past the whole second of the current entry's creation time (to
// the nanosecond on POSIX, to 100 ns on Windows), so that files made within
// one second still tell which is newer; 0 without a scan.
uint32_t EntryCreationFraction(int number) noexcept;

// What names one file while it exists: the device or volume and the inode or
// file ID. A name that later holds another file has another identity.
struct FileId {
  uint64_t volume = 0;
  uint64_t file = 0;
  // What tells apart two files that held the same inode number one after the
  // other (as Linux file systems hand a freed one to the next new file at
  // once): the birth time in nanoseconds where the file system keeps one,
  // else a digest of the file handle (inode and generation), else the change
  // time; 0 on Windows.
  uint64_t birth = 0;
  // A symbolic link (POSIX): whether it leads to a directory, which would
  // make it no candidate, is asked only when needed (IsLinkToDirectory).
  bool link = false;
  bool operator==(const FileId&) const = default;
};

// Identity of the current entry; 0 when its facts can't be read (it vanished
// or can't be examined), and such an entry is no candidate.
int EntryId(int number, FileId& id) noexcept;

// Whether the link listed as `listed` with `id` leads to a directory: 1 when
// it does (it is then no candidate), 0 when not, also when the target can't
// be reached within a few link steps or lies on a file system another user
// mounted. Always 0 on Windows, whose listing tells the kind itself.
int IsLinkToDirectory(const ListedName& listed, const FileId& id) noexcept;

// Ends scan `number`; a number without a scan is ignored.
void CloseScan(int number) noexcept;

// Ends every scan and releases what the service still holds.
void CloseAllScans() noexcept;

// What RemoveFile answers when it removed the name: kRemovedFile when that
// was the file's last name (its space is free), kRemovedName when other hard
// links keep the file.
inline constexpr int kRemovedName = 1;
inline constexpr int kRemovedFile = 2;

// Deletes the listed name in the directory its scan read when the name
// still holds the file `id` names; nonzero on success (kRemovedName or
// kRemovedFile), 0 otherwise. Read-only files, directories and, on POSIX,
// files a process holds open are never deleted.
int RemoveFile(const ListedName& listed, const FileId& id) noexcept;

// Nonzero when a scan of this run had to leave entries out for want of memory.
int ScansLostEntries() noexcept;
