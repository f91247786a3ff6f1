// Opening the directory a path names without letting a symbolic link that a
// stranger planted redirect it: the tool often runs as root on directories
// that other users may write.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string_view>

// Links followed on the way to one directory, at most (as the kernel's own
// limit for a path).
inline constexpr int kMaxTrustedLinks = 40;

// How far a listed link's target is followed to learn whether it is a
// directory: links and path components, at most. Any link a careful admin
// makes is well within; a chain or a long body someone planted costs no more.
inline constexpr int kMaxLinkSteps = 8;
inline constexpr int kMaxTargetComponents = 40;

// Whether a link with this owner may be followed: root's or the effective
// user's own. A link another user planted in a directory they may write must
// not lead a root run into a directory of its choosing.
bool TrustedLinkOwner(uid_t owner);

// A directory opened by OpenTrustedDirectory.
struct TrustedDirectory {
  int fd = -1;           // an O_PATH descriptor the caller owns, or -1
  bool refused = false;  // -1 because a link owned by another user was met
  uint64_t device = 0;   // the directory's device, as statx reports it
};

// The device of an open descriptor, asked without making the file system
// answer anything (a file system that never answers can't hold the run);
// false when it can't be had.
bool DeviceOf(int fd, uint64_t& device);

// Opens the directory `path` names, relative to `startFd` (AT_FDCWD or a
// directory) unless it starts with '/', one component at a time. A symbolic
// link is followed only when root or the effective user owns it (the link
// itself, not its target), and at most kMaxTrustedLinks of them. No step
// goes into a file system another user mounted (ForeignFileSystem): such a
// file system is never asked to look a name up. The empty path is `startFd`
// itself.
TrustedDirectory OpenTrustedDirectory(int startFd, std::string_view path);

// Whether the link `name` in the directory `dirFd` (on `device`) leads to a
// directory. Its target is walked one component at a time, at most
// kMaxLinkSteps links and kMaxTargetComponents components, never into a file
// system another user mounted; a target not reached within that counts as
// no directory, as a dangling link does. Whoever owns the links does not
// matter here: nothing is opened through them, only their kind is learnt.
bool LinkLeadsToDirectory(int dirFd, const char* name, uint64_t device);
