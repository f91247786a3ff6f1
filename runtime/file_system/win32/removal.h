// Identity and removal of files on Windows: what names a file, and the
// removal of one name relative to a kept directory handle.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "runtime/file_system/file_system.h"
#include "runtime/text.h"

// A 128-bit file ID in 64 bits: NTFS's IDs have a zero upper half and stay
// exact; on file systems with wider IDs the halves are folded together.
uint64_t FoldFileId(const FILE_ID_128& id);

// Volume serial and file ID of an open file or directory, the 128-bit ID
// where the system tells it. The attributes and the number of names (hard
// links) come along.
bool ReadIdentity(HANDLE handle, FileId& id, DWORD& attributes, DWORD& links);

// What the removals in one directory read of it once: its resolved path in
// each form, its entries' names without trailing dots and blanks (as hashes),
// and whether a directory on its path has a twin that differs only in them.
struct DirectoryFacts {
  static constexpr int kForms = 3;
  bool pathRead[kForms] = {};
  Text path[kForms];  // with a final "\"; empty where the system can't tell
  bool stemsRead = false;
  bool stemsKnown = false;
  std::vector<uint64_t> stems;  // sorted
  bool ancestorsRead = false;
  bool ancestorsClear = false;
};

// Removes `name` in `directory` when the removal rules allow it for what the
// name holds now: kRemovedFile or kRemovedName, or 0 when it stays. `facts`
// belongs to `directory` and is filled as needed.
int RemoveEntry(HANDLE directory, DirectoryFacts& facts, const Text& name, const FileId& id);
