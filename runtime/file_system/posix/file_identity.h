// What a file's identity on POSIX is made of: its device, and what tells
// apart two files that held the same inode number one after the other.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

// The device statx reports, as one number (as st_dev and makedev give it).
inline uint64_t StatxDevice(const struct statx& info) {
  return makedev(info.stx_dev_major, info.stx_dev_minor);
}

// Digest of a file handle (name_to_handle_at): its bytes themselves when they
// fit, as the inode and generation of ext2/3/4 do, else their FNV-1a hash.
inline uint64_t HandleDigest(const unsigned char* bytes, size_t size) {
  uint64_t digest = 0;
  if (size <= sizeof digest) {
    std::memcpy(&digest, bytes, size);
    return digest;
  }
  digest = 14695981039346656037u;
  for (size_t i = 0; i < size; ++i) digest = (digest ^ bytes[i]) * 1099511628211u;
  return digest;
}

// Nanoseconds of the birth time where the file system keeps one; else the
// digest of the file's handle (`handle`, nullptr when none can be had), whose
// generation number is new for every file; else the change time. ext2, ext4
// with small inodes and many network file systems keep no birth time, keep
// times in whole seconds and give a freed inode number to the next new file
// at once: a file deleted and made anew within one second differs from the
// old one only in its generation.
inline uint64_t IdentityStamp(bool hasBirth, uint64_t birth, const file_handle* handle,
                              uint64_t change) {
  if (hasBirth) return birth;
  if (handle != nullptr) return HandleDigest(handle->f_handle, handle->handle_bytes);
  return change;
}
