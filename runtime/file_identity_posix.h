// The time part of a file's identity on POSIX.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>

// Nanoseconds of the file's birth time where statx reports one, else of its
// change time: ext2, ext4 with small inodes and many network file systems
// keep no birth time and give a freed inode number to the next new file at
// once, which then differs from the old one by its change time.
inline uint64_t IdentityStamp(const struct statx& info) {
  const statx_timestamp& stamp =
      (info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime : info.stx_ctime;
  return static_cast<uint64_t>(stamp.tv_sec) * 1000000000u + stamp.tv_nsec;
}
