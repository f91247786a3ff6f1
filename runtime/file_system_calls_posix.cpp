#include "runtime/file_system_calls_posix.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <system_error>

namespace {

int OpenAt2(int dirFd, const char* path, open_how* how, size_t size) {
  return static_cast<int>(syscall(SYS_openat2, dirFd, path, how, size));
}

bool StartThread(std::thread& worker, std::function<void()> body) {
  try {
    worker = std::thread(std::move(body));
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace

FileSystemCalls SystemFileSystemCalls() {
  return {::openat, OpenAt2,   ::fdopendir, ::readdir,    ::closedir,      ::close,
          ::statx,  ::fstatat, ::unlinkat,  ::readlinkat, ::clock_gettime, StartThread};
}

FileSystemCalls& FileSystemCallTable() {
  static FileSystemCalls table = SystemFileSystemCalls();
  return table;
}
