// The calls of the POSIX file-system service that tests answer from memory or
// make fail on cue (opening, listing, reading facts, removing, reading a link,
// the clock and the read-ahead thread) go through one table. Closing, the
// plain stat where statx is missing and the file handle are called directly.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <time.h>

#include "runtime/file_system/posix/facts_prefetch.h"

struct FileSystemCalls {
  int (*openat)(int dirFd, const char* path, int flags, ...);
  // -1 with errno ENOSYS where the kernel lacks it.
  int (*openat2)(int dirFd, const char* path, open_how* how, size_t size);
  dirent* (*readdir)(DIR* dir);
  int (*statx)(int dirFd, const char* path, int flags, unsigned mask, struct statx* info);
  int (*unlinkat)(int dirFd, const char* path, int flags);
  ssize_t (*readlinkat)(int dirFd, const char* path, char* target, size_t size);
  int (*clockGettime)(clockid_t clock, timespec* now);
  ThreadStart startThread;
};

// The table the service calls through; the system's own calls unless a test
// has put others in.
FileSystemCalls& FileSystemCallTable();

// The system's own calls.
FileSystemCalls SystemFileSystemCalls();
