// Opening the directory a path names without letting a symbolic link that a
// stranger planted redirect it: the tool often runs as root on directories
// that other users may write.
#pragma once

#include <sys/types.h>

#include <string_view>

// Links followed on the way to one directory, at most (as the kernel's own
// limit for a path).
inline constexpr int kMaxTrustedLinks = 40;

// Whether a link with this owner may be followed: root's or the effective
// user's own. A link another user planted in a directory they may write must
// not lead a root run into a directory of its choosing.
bool TrustedLinkOwner(uid_t owner);

// A directory opened by OpenTrustedDirectory.
struct TrustedDirectory {
  int fd = -1;           // an O_PATH descriptor the caller owns, or -1
  bool refused = false;  // -1 because a link owned by another user was met
};

// Opens the directory `path` names, relative to `startFd` (AT_FDCWD or a
// directory) unless it starts with '/', one component at a time. A symbolic
// link is followed only when root or the effective user owns it (the link
// itself, not its target), and at most kMaxTrustedLinks of them. The empty
// path is `startFd` itself.
TrustedDirectory OpenTrustedDirectory(int startFd, std::string_view path);
