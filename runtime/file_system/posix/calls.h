// Every call the POSIX file-system service makes to list, examine and remove
// entries, to resolve a path, to read the mount table and to walk /proc for
// open files, through one
// table, so that a test can answer them from memory or make them fail on cue.
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
  DIR* (*fdopendir)(int fd);
  dirent* (*readdir)(DIR* dir);
  int (*closedir)(DIR* dir);
  int (*close)(int fd);
  int (*statx)(int dirFd, const char* path, int flags, unsigned mask, struct statx* info);
  int (*fstatat)(int dirFd, const char* path, struct stat* info, int flags);
  int (*unlinkat)(int dirFd, const char* path, int flags);
  ssize_t (*readlinkat)(int dirFd, const char* path, char* target, size_t size);
  int (*nameToHandleAt)(int dirFd, const char* path, file_handle* handle, int* mountId, int flags);
  int (*clockGettime)(clockid_t clock, timespec* now);
  ThreadStart startThread;
};

// The table the service calls through; the system's own calls unless a test
// has put others in.
FileSystemCalls& FileSystemCallTable();

// The system's own calls.
FileSystemCalls SystemFileSystemCalls();
