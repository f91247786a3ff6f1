#include "runtime/file_system/posix/calls.h"

#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <system_error>

namespace {

int OpenAt2(int dirFd, const char* path, open_how* how, size_t size) {
  return static_cast<int>(syscall(SYS_openat2, dirFd, path, how, size));
}

// The thread starts with every signal blocked, so a signal sent to the
// process always reaches the thread that holds them back during a removal.
bool StartThread(std::thread& worker, std::function<void()> body) {
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);
  bool started = true;
  try {
    worker = std::thread(std::move(body));
  } catch (const std::system_error&) {
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return started;
}

}  // namespace

FileSystemCalls SystemFileSystemCalls() {
  return {::openat,   OpenAt2,      ::readdir,       ::statx,
          ::unlinkat, ::readlinkat, ::clock_gettime, StartThread};
}

FileSystemCalls& FileSystemCallTable() {
  static FileSystemCalls table = SystemFileSystemCalls();
  return table;
}
