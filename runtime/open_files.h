// Files that processes hold open (POSIX build). Linux lets a file that a
// process keeps open be unlinked: the writer goes on writing into a file
// nobody can reach and its space is not freed. The file system asks here
// before a removal, so such a file stays, as it does on Windows. A best
// effort: a process may open the file a moment after the walk.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

// The regular files open descriptors refer to, as (device, inode), sorted.
struct OpenFiles {
  std::vector<std::pair<uint64_t, uint64_t>> files;
  int64_t walkedAt = 0;  // monotonic nanoseconds of the last walk
  bool walked = false;
  // What the last walk read, for measurements.
  int64_t processes = 0;
  int64_t descriptors = 0;
};

// Reads every <pid>/fd/* under `procRoot` ("/proc") that may be read, taking
// what each descriptor refers to (the link followed); processes and
// descriptors that can't be read are skipped. Replaces `held.files`.
void ReadOpenFiles(const char* procRoot, OpenFiles& held);

// Whether the file (device, inode) is among `held.files`.
bool IsOpenFile(const OpenFiles& held, uint64_t device, uint64_t inode);

// IsOpenFile after a fresh walk of /proc when none was made yet or more than
// a second has passed since the last one.
bool HeldOpen(OpenFiles& held, uint64_t device, uint64_t inode);
