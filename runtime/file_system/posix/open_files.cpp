// The walk over /proc/<pid>/fd of every process the tool may inspect, each
// call through the table of file-system calls.

#include "runtime/file_system/posix/open_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "runtime/file_system/posix/calls.h"
#include "runtime/file_system/posix/file_identity.h"

namespace {

constexpr int64_t kWalkInterval = 1000000000;  // one second at least
constexpr int64_t kWalkShare = 10;             // and ten times the last walk

using Directory = std::unique_ptr<DIR, int (*)(DIR*)>;

int64_t MonotonicNow() {
  timespec now{};
  FileSystemCallTable().clockGettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool IsNumber(const char* name) {
  if (*name == '\0') return false;
  for (; *name != '\0'; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

// Device and inode of what descriptor `name` in a fd directory refers to;
// false for anything but a regular file. Cached attributes are enough: a
// file system that would have to ask a server is not asked.
bool TargetOf(int fdDir, const char* name, std::pair<uint64_t, uint64_t>& file) {
  const FileSystemCalls& calls = FileSystemCallTable();
  struct statx info {};
  if (calls.statx(fdDir, name, AT_STATX_DONT_SYNC, STATX_TYPE | STATX_INO, &info) == 0) {
    file = {StatxDevice(info), info.stx_ino};
    return S_ISREG(info.stx_mode);
  }
  struct stat plain {};
  if (errno != ENOSYS || ::fstatat(fdDir, name, &plain, 0) != 0) return false;
  file = {static_cast<uint64_t>(plain.st_dev), static_cast<uint64_t>(plain.st_ino)};
  return S_ISREG(plain.st_mode);
}

// Adds the regular files on `device` one process holds open; false when its
// descriptors can't be read (another user's process, or one that just ended).
bool ReadProcess(int procFd, const char* pid, uint64_t device, OpenFiles& held) {
  char path[32];
  const size_t length = std::strlen(pid);
  if (length + 4 >= sizeof(path)) return false;
  std::copy_n(pid, length, path);
  std::copy_n("/fd", 4, path + length);
  const FileSystemCalls& calls = FileSystemCallTable();
  const int fdDir = calls.openat(procFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fdDir < 0) return false;
  const Directory dir(::fdopendir(fdDir), ::closedir);  // closed also without memory
  if (dir == nullptr) {
    ::close(fdDir);
    return false;
  }
  std::pair<uint64_t, uint64_t> file;
  while (const dirent* entry = calls.readdir(dir.get())) {
    if (!IsNumber(entry->d_name)) continue;
    ++held.descriptors;
    if (TargetOf(fdDir, entry->d_name, file) && file.first == device) held.files.push_back(file);
  }
  return true;
}

}  // namespace

void ReadOpenFiles(const char* procRoot, uint64_t device, OpenFiles& held) {
  held.files.clear();
  held.device = device;
  held.processes = 0;
  held.descriptors = 0;
  const FileSystemCalls& calls = FileSystemCallTable();
  const int procFd = calls.openat(AT_FDCWD, procRoot, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (procFd >= 0) {
    if (const Directory proc{::fdopendir(procFd), ::closedir}) {
      while (const dirent* entry = calls.readdir(proc.get())) {
        if (IsNumber(entry->d_name) && ReadProcess(procFd, entry->d_name, device, held))
          ++held.processes;
      }
    } else {
      ::close(procFd);
    }
  }
  std::sort(held.files.begin(), held.files.end());
  held.files.erase(std::unique(held.files.begin(), held.files.end()), held.files.end());
}

bool IsOpenFile(const OpenFiles& held, uint64_t device, uint64_t inode) {
  return std::binary_search(held.files.begin(), held.files.end(), std::make_pair(device, inode));
}

bool HeldOpen(OpenFiles& held, uint64_t device, uint64_t inode) {
  const int64_t now = MonotonicNow();
  const int64_t wait = std::max(kWalkInterval, kWalkShare * held.lastWalk);
  if (!held.walked || held.device != device || now - held.walkedAt > wait) {
    ReadOpenFiles("/proc", device, held);
    held.walked = true;
    held.walkedAt = MonotonicNow();
    held.lastWalk = held.walkedAt - now;
  }
  return IsOpenFile(held, device, inode);
}
