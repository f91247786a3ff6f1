#include "runtime/file_system_calls_posix.h"

#include <unistd.h>

#include <system_error>

namespace {

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
  return {::openat, ::fdopendir, ::readdir,  ::closedir,   ::close,
          ::statx,  ::fstatat,   ::unlinkat, ::readlinkat, StartThread};
}

FileSystemCalls& FileSystemCallTable() {
  static FileSystemCalls table = SystemFileSystemCalls();
  return table;
}
