// Path resolution through trusted links only. Where the kernel has openat2, a
// path without any link that stays on one mount opens in one call; any other
// path, or a kernel without openat2, is walked component by component, and
// every directory stepped into is checked before a name is looked up in it.
// Each link is opened as itself (O_PATH|O_NOFOLLOW), so its owner and its
// target come from the same link even while someone swaps it.
#include "runtime/file_system/posix/trusted_path.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "runtime/file_system/posix/calls.h"
#include "runtime/file_system/posix/file_identity.h"
#include "runtime/file_system/posix/mount_trust.h"

namespace {

constexpr int kDirectoryFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Opens the path in one call when no link and no mount point lies on it; -1
// otherwise, also where the kernel lacks openat2 (the walk then decides).
int OpenWithoutLinks(int startFd, const std::string& path) {
  open_how how{};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_XDEV;
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

// Whether the directory `fd` may be entered: its device is known and not
// another user's file system. `device` gets the device.
bool MayEnter(int fd, uint64_t& device) {
  return DeviceOf(fd, device) && !ForeignFileSystem(device);
}

// The process's root, checked like every other directory; -1 when it may
// not be entered.
int OpenRoot(uint64_t& device) {
  const FileSystemCalls& calls = FileSystemCallTable();
  const int root = calls.openat(AT_FDCWD, "/", kDirectoryFlags);
  if (root >= 0 && !MayEnter(root, device)) {
    ::close(root);
    return -1;
  }
  return root;
}

// One step into `name` of the directory `current`, which is replaced by the
// directory stepped into. A link is not stepped through: its target's
// components join `pending` (and `current` becomes the root for an absolute
// target). False when the step fails; `refused` tells a stranger's link.
bool Step(int& current, uint64_t& device, const std::string& name,
          std::vector<std::string>& pending, int& links, bool& refused) {
  const FileSystemCalls& calls = FileSystemCallTable();
  const int next = calls.openat(current, name.c_str(), kDirectoryFlags);
  if (next >= 0) {
    ::close(current);
    current = next;
    return MayEnter(current, device);
  }
  if (errno != ENOTDIR && errno != ELOOP) return false;
  const int link = calls.openat(current, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (link < 0) return false;
  struct statx info {};
  char target[PATH_MAX];
  ssize_t length = -1;
  const bool isLink = calls.statx(link, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC,
                                  STATX_TYPE | STATX_UID, &info) == 0 &&
                      S_ISLNK(info.stx_mode);
  if (isLink && !ForeignFileSystem(StatxDevice(info))) {
    refused = !TrustedLinkOwner(info.stx_uid);
    if (!refused && ++links <= kMaxTrustedLinks)
      length = calls.readlinkat(link, "", target, PATH_MAX);
  }
  ::close(link);
  if (length <= 0 || length >= PATH_MAX) return false;
  const std::string_view text(target, static_cast<size_t>(length));
  PushComponents(text, pending);
  if (text.front() != '/') return true;
  const int root = OpenRoot(device);
  if (root < 0) return false;
  ::close(current);
  current = root;
  return true;
}

// Reads the link `name` in the directory `dirFd` (or, with an empty name, the
// link `dirFd` is an O_PATH descriptor of) and adds its target's components
// to `pending`; the target's length, or -1.
ssize_t ReadLink(int dirFd, const char* name, std::vector<std::string>& pending, bool& absolute) {
  char target[PATH_MAX];
  const ssize_t length = FileSystemCallTable().readlinkat(dirFd, name, target, PATH_MAX);
  if (length <= 0 || length >= PATH_MAX) return -1;
  const std::string_view text(target, static_cast<size_t>(length));
  PushComponents(text, pending);
  absolute = text.front() == '/';
  return length;
}

}  // namespace

bool LinkLeadsToDirectory(int dirFd, const char* name, uint64_t device) {
  const FileSystemCalls& calls = FileSystemCallTable();
  std::vector<std::string> pending;
  bool absolute = false;
  if (ReadLink(dirFd, name, pending, absolute) < 0) return false;
  int current = -1;  // owned once the walk has left `dirFd`
  auto moveTo = [&](int fd) {
    if (current >= 0) ::close(current);
    current = fd;
  };
  if (absolute) moveTo(OpenRoot(device));
  bool directory = false;
  int links = 1;
  for (int steps = 0; !pending.empty() && (!absolute || current >= 0); ++steps) {
    if (steps >= kMaxTargetComponents) break;
    const std::string part = std::move(pending.back());
    pending.pop_back();
    const int fd =
        calls.openat(current >= 0 ? current : dirFd, part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) break;
    struct statx info {};
    const bool known =
        calls.statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_TYPE, &info) == 0;
    const uint64_t at = StatxDevice(info);
    if (!known || (at != device && ForeignFileSystem(at))) {
      ::close(fd);
      break;
    }
    if (S_ISLNK(info.stx_mode)) {
      const bool followed = ++links <= kMaxLinkSteps && ReadLink(fd, "", pending, absolute) >= 0;
      ::close(fd);
      if (!followed) break;
      if (absolute) moveTo(OpenRoot(device));
      continue;
    }
    if (pending.empty() || !S_ISDIR(info.stx_mode)) {
      directory = pending.empty() && S_ISDIR(info.stx_mode);
      ::close(fd);
      break;
    }
    moveTo(fd);
    device = at;
  }
  if (current >= 0) ::close(current);
  return directory;
}

bool TrustedLinkOwner(uid_t owner) {
  return owner == 0 || owner == geteuid();
}

bool DeviceOf(int fd, uint64_t& device) {
  const FileSystemCalls& calls = FileSystemCallTable();
  // Cached attributes only, and no attribute asked for: a FUSE file system
  // that never answers is not asked.
  struct statx info {};
  if (calls.statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, 0, &info) == 0) {
    device = StatxDevice(info);
    return true;
  }
  struct stat plain {};  // sandboxes without statx
  if (errno != ENOSYS || ::fstatat(fd, "", &plain, AT_EMPTY_PATH) != 0) return false;
  device = plain.st_dev;
  return true;
}

TrustedDirectory OpenTrustedDirectory(int startFd, std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return {};
  const FileSystemCalls& calls = FileSystemCallTable();
  const std::string text(path.empty() ? std::string_view(".") : path);
  const bool absolute = text.front() == '/';
  uint64_t device = 0;
  int current = absolute ? OpenRoot(device) : calls.openat(startFd, ".", kDirectoryFlags);
  if (current < 0) return {};
  if (!absolute && !MayEnter(current, device)) {
    ::close(current);
    return {};
  }
  if (const int fd = OpenWithoutLinks(current, text); fd >= 0) {
    ::close(current);
    if (MayEnter(fd, device)) return {fd, false, device};
    ::close(fd);
    return {};
  }
  std::vector<std::string> pending;
  PushComponents(text, pending);
  int links = 0;
  bool refused = false;
  while (!pending.empty()) {
    const std::string name = std::move(pending.back());
    pending.pop_back();
    if (!Step(current, device, name, pending, links, refused)) {
      ::close(current);
      return {-1, refused, 0};
    }
  }
  return {current, false, device};
}
