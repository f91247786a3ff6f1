// Files that processes hold open (POSIX build). Linux lets a file that a
// process keeps open be unlinked: the writer goes on writing into a file
// nobody can reach and its space is not freed. The file system asks here
// before a removal, so such a file stays, as it does on Windows. A best
// effort: a process may open the file a moment after the walk.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

// The regular files on one device that open descriptors refer to, as
// (device, inode), sorted.
struct OpenFiles {
  std::vector<std::pair<uint64_t, uint64_t>> files;
  uint64_t device = 0;   // the device the last walk kept descriptors of
  int64_t walkedAt = 0;  // monotonic nanoseconds at the end of the last walk
  int64_t lastWalk = 0;  // nanoseconds the last walk took
  bool walked = false;
  // What the last walk read, for measurements.
  int64_t processes = 0;
  int64_t descriptors = 0;
};

// Reads every <pid>/fd/* under `procRoot` ("/proc") that may be read, taking
// what each descriptor refers to (the link followed) when it is a regular
// file on `device`; processes and descriptors that can't be read are
// skipped. Replaces `held.files`.
void ReadOpenFiles(const char* procRoot, uint64_t device, OpenFiles& held);

// Whether the file (device, inode) is among `held.files`.
bool IsOpenFile(const OpenFiles& held, uint64_t device, uint64_t inode);

// IsOpenFile after a fresh walk of /proc when none was made yet for that
// device, or when a second and ten times the last walk's duration have
// passed since it ended: however many descriptors other users hold, the
// walks take about a tenth of the run at most.
bool HeldOpen(OpenFiles& held, uint64_t device, uint64_t inode);
