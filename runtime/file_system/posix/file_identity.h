// What a file's identity on POSIX is made of: its device, and what tells
// apart two files that held the same inode number one after the other; and
// the birth time with what stands in for it, for the identity and for the
// age.
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

// A file time as statx and stat report it.
struct FileTime {
  int64_t seconds = 0;
  uint32_t nanoseconds = 0;
  bool operator==(const FileTime&) const = default;
};

// The birth time (`birth`, nullptr where the file system keeps none) or what
// stands in for it. The age and the identity need different stand-ins:
// - CreationTime, for the age: the older of the last-write and change times,
//   compared to the nanosecond;
// - IdentityStamp, for the identity: the digest of the file's handle
//   (`handle`, nullptr when none can be had), whose generation number is new
//   for every file, else the change time in nanoseconds. ext2, ext4 with
//   small inodes and many network file systems keep no birth time, keep times
//   in whole seconds and give a freed inode number to the next new file at
//   once: a file deleted and made anew within one second differs from the
//   old one only in its generation. The handle is needed only where the
//   birth time is missing.
inline FileTime CreationTime(const FileTime* birth, FileTime written, FileTime changed) {
  if (birth != nullptr) return *birth;
  const bool writtenFirst = written.seconds != changed.seconds
                                ? written.seconds < changed.seconds
                                : written.nanoseconds < changed.nanoseconds;
  return writtenFirst ? written : changed;
}

inline uint64_t IdentityStamp(const FileTime* birth, const file_handle* handle, FileTime changed) {
  const auto nanoseconds = [](FileTime time) {
    return static_cast<uint64_t>(time.seconds) * 1000000000u + time.nanoseconds;
  };
  if (birth != nullptr) return nanoseconds(*birth);
  if (handle != nullptr) return HandleDigest(handle->f_handle, handle->handle_bytes);
  return nanoseconds(changed);
}
