#include "runtime/file_system/posix/facts.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <new>

#include "runtime/file_system/posix/calls.h"
#include "runtime/file_system/posix/file_identity.h"
#include "runtime/file_system/posix/mount_trust.h"

namespace {

FileTime TimeOf(const struct statx_timestamp& time) {
  return {time.tv_sec, time.tv_nsec};
}

// IdentityStamp of an entry without birth time, its handle read without
// following a link.
uint64_t StampWithoutBirth(int dirFd, const char* name, FileTime changed) {
  alignas(file_handle) unsigned char room[sizeof(file_handle) + MAX_HANDLE_SZ] = {};
  file_handle* handle = reinterpret_cast<file_handle*>(room);
  handle->handle_bytes = MAX_HANDLE_SZ;
  int mount = 0;
  const bool known = ::name_to_handle_at(dirFd, name, handle, &mount, 0) == 0;
  return IdentityStamp(nullptr, known ? handle : nullptr, changed);
}

// The facts of one answer on device `at`; the file handle is asked for only
// where the file system keeps no birth time.
EntryFacts FactsFromStatx(int dirFd, const char* name, const struct statx& info, uint64_t at) {
  EntryFacts facts;
  facts.known = true;
  facts.mode = info.stx_mode;
  facts.owner = info.stx_uid;
  facts.links = info.stx_nlink;
  facts.size = static_cast<int64_t>(info.stx_size);
  const FileTime birth = TimeOf(info.stx_btime);
  const FileTime* born = (info.stx_mask & STATX_BTIME) != 0 ? &birth : nullptr;
  const FileTime changed = TimeOf(info.stx_ctime);
  const uint64_t stamp = born != nullptr ? IdentityStamp(born, nullptr, changed)
                                         : StampWithoutBirth(dirFd, name, changed);
  facts.id = FileId{at, static_cast<uint64_t>(info.stx_ino), stamp, S_ISLNK(info.stx_mode)};
  facts.access = info.stx_atime.tv_sec;
  facts.write = info.stx_mtime.tv_sec;
  const FileTime created = CreationTime(born, TimeOf(info.stx_mtime), changed);
  facts.created = created.seconds;
  facts.createdNanoseconds = created.nanoseconds;
  return facts;
}

// The older call's answer in the form of statx's, without a birth time.
struct statx StatxOf(const struct stat& info) {
  struct statx out {};
  out.stx_mask = STATX_BASIC_STATS;
  out.stx_mode = static_cast<uint16_t>(info.st_mode);
  out.stx_uid = info.st_uid;
  out.stx_nlink = static_cast<uint32_t>(info.st_nlink);
  out.stx_size = static_cast<uint64_t>(info.st_size);
  out.stx_ino = info.st_ino;
  out.stx_atime = {info.st_atim.tv_sec, static_cast<uint32_t>(info.st_atim.tv_nsec), 0};
  out.stx_mtime = {info.st_mtim.tv_sec, static_cast<uint32_t>(info.st_mtim.tv_nsec), 0};
  out.stx_ctime = {info.st_ctim.tv_sec, static_cast<uint32_t>(info.st_ctim.tv_nsec), 0};
  return out;
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
    return FactsFromStatx(dirFd, name, info, at);
  }
  // Kernels or sandboxes without statx still answer fstatat (no birth time).
  struct stat plain {};
  if (errno == ENOSYS && ::fstatat(dirFd, name, &plain, AT_SYMLINK_NOFOLLOW) == 0) {
    if (plain.st_dev != device && ForeignFileSystem(plain.st_dev)) return EntryFacts{};
    return FactsFromStatx(dirFd, name, StatxOf(plain), plain.st_dev);
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
