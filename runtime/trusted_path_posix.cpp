// Path resolution through trusted links only. Where the kernel has openat2, a
// path without any link opens in one call; a path with a link, or a kernel
// without openat2, is walked component by component. Each link is opened as
// itself (O_PATH|O_NOFOLLOW), so its owner and its target come from the same
// link even while someone swaps it.
#include "runtime/trusted_path_posix.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "runtime/file_system_calls_posix.h"

namespace {

constexpr int kDirectoryFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Opens the path in one call when no link lies on it; -1 otherwise, also
// where the kernel lacks openat2 (the walk then decides).
int OpenWithoutLinks(int startFd, const std::string& path) {
  open_how how{};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS;
  return FileSystemCallTable().openat2(startFd, path.c_str(), &how, sizeof how);
}

// Components still to walk, the next one last.
void PushComponents(std::string_view path, std::vector<std::string>& pending) {
  while (!path.empty()) {
    const size_t slash = path.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (!last.empty() && last != ".") pending.emplace_back(last);
    if (slash == std::string_view::npos) break;
    path = path.substr(0, slash);
  }
}

// One step into `name` of the directory `current`, which is replaced by the
// directory stepped into. A link is not stepped through: its target's
// components join `pending` (and `current` becomes the root for an absolute
// target). False when the step fails; `refused` tells a stranger's link.
bool Step(int& current, const std::string& name, std::vector<std::string>& pending, int& links,
          bool& refused) {
  const FileSystemCalls& calls = FileSystemCallTable();
  const int next = calls.openat(current, name.c_str(), kDirectoryFlags);
  if (next >= 0) {
    calls.close(current);
    current = next;
    return true;
  }
  if (errno != ENOTDIR && errno != ELOOP) return false;
  const int link = calls.openat(current, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (link < 0) return false;
  struct stat info {};
  char target[PATH_MAX];
  ssize_t length = -1;
  if (calls.fstatat(link, "", &info, AT_EMPTY_PATH) == 0 && S_ISLNK(info.st_mode)) {
    refused = !TrustedLinkOwner(info.st_uid);
    if (!refused && ++links <= kMaxTrustedLinks)
      length = calls.readlinkat(link, "", target, PATH_MAX);
  }
  calls.close(link);
  if (length <= 0 || length >= PATH_MAX) return false;
  const std::string_view text(target, static_cast<size_t>(length));
  PushComponents(text, pending);
  if (text.front() != '/') return true;
  const int root = calls.openat(AT_FDCWD, "/", kDirectoryFlags);
  if (root < 0) return false;
  calls.close(current);
  current = root;
  return true;
}

}  // namespace

bool TrustedLinkOwner(uid_t owner) {
  return owner == 0 || owner == geteuid();
}

TrustedDirectory OpenTrustedDirectory(int startFd, std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return {};
  const FileSystemCalls& calls = FileSystemCallTable();
  const std::string text(path.empty() ? std::string_view(".") : path);
  if (const int fd = OpenWithoutLinks(startFd, text); fd >= 0) return {fd, false};
  std::vector<std::string> pending;
  PushComponents(text, pending);
  int current = text.front() == '/' ? calls.openat(AT_FDCWD, "/", kDirectoryFlags)
                                    : calls.openat(startFd, ".", kDirectoryFlags);
  int links = 0;
  bool refused = false;
  while (current >= 0 && !pending.empty()) {
    const std::string name = std::move(pending.back());
    pending.pop_back();
    if (!Step(current, name, pending, links, refused)) {
      calls.close(current);
      return {-1, refused};
    }
  }
  return {current, false};
}
