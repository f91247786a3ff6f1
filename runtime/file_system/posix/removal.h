// Removing a listed name on POSIX: what the name holds now is read as the
// scan read it, the removal rules decide, and the name goes through the table
// of file-system calls.
#pragma once

#include "runtime/file_system/file_system.h"
#include "runtime/file_system/posix/open_files.h"

// Removes `name` in the open directory when the removal rules allow it for
// what the name holds now: kRemovedFile or kRemovedName, or 0 when it stays.
// `openFiles` tells which files processes hold open, walked again as needed.
int RemoveEntry(int dirFd, const char* name, const FileId& id, OpenFiles& openFiles);
