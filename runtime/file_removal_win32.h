// Identity and removal of files on Windows: what names a file, and the
// removal of one name relative to a kept directory handle.
#pragma once

#include <windows.h>

#include <cstdint>

#include "runtime/file_system.h"
#include "runtime/text.h"

// A 128-bit file ID in 64 bits: NTFS's IDs have a zero upper half and stay
// exact; on file systems with wider IDs the halves are folded together.
uint64_t FoldFileId(const FILE_ID_128& id);

// Volume serial and file ID of an open file or directory, the 128-bit ID
// where the system tells it. The attributes and the number of names (hard
// links) come along.
bool ReadIdentity(HANDLE handle, FileId& id, DWORD& attributes, DWORD& links);

// Removes `name` in `directory` when the removal rules allow it for what the
// name holds now: kRemovedFile or kRemovedName, or 0 when it stays.
int RemoveEntry(HANDLE directory, const Text& name, const FileId& id);
