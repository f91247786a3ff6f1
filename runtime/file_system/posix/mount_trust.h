// Which file systems the tool may trust. A file system that another user
// mounted (FUSE and the like, with user_allow_other) answers whatever its
// owner likes: it can report a link as root's, or never answer at all and
// hold the run in a wait that not even SIGKILL ends. Nothing on such a file
// system is trusted: no link on it is followed, no directory on it entered,
// none of its entries is a candidate, and nothing is asked of it that it
// would have to answer.
#pragma once

#include <cstdint>
#include <string_view>

// Whether the file system on `device` (as statx reports it) was mounted by a
// user other than root and the tool's own user: its mount options name such
// a user (`user_id=`). A device the mount table does not list is not such a
// file system; the table is read again when one is met, so a mount made
// during the run is seen.
bool ForeignFileSystem(uint64_t device);
