#include "runtime/file_system/posix/facts.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <new>

#include "runtime/file_system/posix/calls.h"
#include "runtime/file_system/posix/file_identity.h"
#include "runtime/file_system/posix/mount_trust.h"

namespace {

uint64_t Nanoseconds(int64_t seconds, uint32_t nanoseconds) {
  return static_cast<uint64_t>(seconds) * 1000000000u + nanoseconds;
}

// IdentityStamp of an entry without birth time, its handle read without
// following a link.
uint64_t StampWithoutBirth(int dirFd, const char* name, uint64_t change) {
  alignas(file_handle) unsigned char room[sizeof(file_handle) + MAX_HANDLE_SZ] = {};
  file_handle* handle = reinterpret_cast<file_handle*>(room);
  handle->handle_bytes = MAX_HANDLE_SZ;
  int mount = 0;
  const bool known = ::name_to_handle_at(dirFd, name, handle, &mount, 0) == 0;
  return IdentityStamp(false, 0, known ? handle : nullptr, change);
}

// Nanoseconds of the creation time: the birth time's, else those of the older
// of the last-write and change times, compared to the nanosecond.
template <class Stamp>
uint32_t CreationNanoseconds(bool hasBirth, const Stamp& birth, const Stamp& written,
                             const Stamp& changed) {
  if (hasBirth) return static_cast<uint32_t>(birth.tv_nsec);
  const bool writtenFirst = written.tv_sec != changed.tv_sec ? written.tv_sec < changed.tv_sec
                                                             : written.tv_nsec < changed.tv_nsec;
  return static_cast<uint32_t>(writtenFirst ? written.tv_nsec : changed.tv_nsec);
}

EntryFacts FactsFromStat(int dirFd, const char* name, const struct stat& info) {
  EntryFacts facts;
  facts.known = true;
  facts.mode = info.st_mode;
  facts.owner = info.st_uid;
  facts.id = FileId{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                    StampWithoutBirth(dirFd, name,
                                      Nanoseconds(info.st_ctim.tv_sec,
                                                  static_cast<uint32_t>(info.st_ctim.tv_nsec))),
                    S_ISLNK(info.st_mode)};
  facts.links = info.st_nlink;
  facts.size = info.st_size;
  facts.access = info.st_atim.tv_sec;
  facts.write = info.st_mtim.tv_sec;
  facts.change = info.st_ctim.tv_sec;
  facts.createdNanoseconds = CreationNanoseconds(false, info.st_ctim, info.st_mtim, info.st_ctim);
  return facts;
}

}  // namespace

EntryFacts ReadFacts(int dirFd, const char* name, uint64_t device) {
  const FileSystemCalls& calls = FileSystemCallTable();
  // Attributes as cached, and no automount: a mount point of a file system
  // that never answers is not asked; the device tells whose it is.
  constexpr int kFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC;
  struct statx info {};
  if (calls.statx(dirFd, name, kFlags, STATX_BASIC_STATS | STATX_BTIME, &info) == 0) {
    const uint64_t at = StatxDevice(info);
    if (at != device && ForeignFileSystem(at)) return EntryFacts{};
    EntryFacts facts;
    facts.known = true;
    facts.mode = info.stx_mode;
    facts.owner = info.stx_uid;
    facts.links = info.stx_nlink;
    facts.size = static_cast<int64_t>(info.stx_size);
    facts.hasBirth = (info.stx_mask & STATX_BTIME) != 0;
    const uint64_t stamp =
        facts.hasBirth
            ? Nanoseconds(info.stx_btime.tv_sec, info.stx_btime.tv_nsec)
            : StampWithoutBirth(dirFd, name,
                                Nanoseconds(info.stx_ctime.tv_sec, info.stx_ctime.tv_nsec));
    facts.id = FileId{at, static_cast<uint64_t>(info.stx_ino), stamp, S_ISLNK(info.stx_mode)};
    facts.birth = info.stx_btime.tv_sec;
    facts.access = info.stx_atime.tv_sec;
    facts.write = info.stx_mtime.tv_sec;
    facts.change = info.stx_ctime.tv_sec;
    facts.createdNanoseconds =
        CreationNanoseconds(facts.hasBirth, info.stx_btime, info.stx_mtime, info.stx_ctime);
    return facts;
  }
  // Kernels or sandboxes without statx still answer fstatat (no birth time).
  struct stat plain {};
  if (errno == ENOSYS && ::fstatat(dirFd, name, &plain, AT_SYMLINK_NOFOLLOW) == 0) {
    if (plain.st_dev != device && ForeignFileSystem(plain.st_dev)) return EntryFacts{};
    return FactsFromStat(dirFd, name, plain);
  }
  return EntryFacts{};
}

EntryFacts ReadListedFacts(int dirFd, const char* name, uint64_t device) noexcept {
  try {
    return ReadFacts(dirFd, name, device);
  } catch (const std::bad_alloc&) {
    return EntryFacts{};  // no memory left to ask
  }
}

const EntryFacts& FactsOf(int dirFd, uint64_t device, const EntryView& entry, EntryState& state) {
  if (!state.factsLoaded) {
    state.facts = ReadListedFacts(dirFd, entry.name.data(), device);
    state.factsLoaded = true;
  }
  return state.facts;
}

int TypeOf(int dirFd, uint64_t device, const EntryView& entry, EntryState& state) {
  if (state.type != 0) return state.type;
  bool isDirectory = entry.rank < 2 || entry.listedDirectory;
  if (!isDirectory) {
    const EntryFacts& facts = FactsOf(dirFd, device, entry, state);
    isDirectory = facts.known && S_ISDIR(facts.mode);
  }
  state.type = isDirectory ? kDirectoryType : kFileType;
  return state.type;
}
