#include "runtime/entry_facts_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <new>

#include "runtime/file_identity_posix.h"
#include "runtime/file_system_calls_posix.h"
#include "runtime/unicode.h"

namespace {

// The name of a directory entry as text; plain ASCII skips the decoder, and
// `name` keeps its storage from one entry to the next.
void DecodeName(std::string_view bytes, Text& name) {
  for (const char byte : bytes) {
    if (static_cast<unsigned char>(byte) >= 0x80) {
      name = TextFromBytes(bytes);
      return;
    }
  }
  name.assign(bytes.begin(), bytes.end());
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

EntryFacts FactsFromStat(const struct stat& info) {
  EntryFacts facts;
  facts.known = true;
  facts.mode = info.st_mode;
  // No birth time here: the change time stands in for it.
  const uint64_t changed = static_cast<uint64_t>(info.st_ctim.tv_sec) * 1000000000u +
                           static_cast<uint64_t>(info.st_ctim.tv_nsec);
  facts.id =
      FileId{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino), changed};
  facts.links = info.st_nlink;
  facts.size = info.st_size;
  facts.access = info.st_atim.tv_sec;
  facts.write = info.st_mtim.tv_sec;
  facts.change = info.st_ctim.tv_sec;
  facts.createdNanoseconds = CreationNanoseconds(false, info.st_ctim, info.st_mtim, info.st_ctim);
  return facts;
}

}  // namespace

std::string NameBytes(std::u16string_view name) {
  for (const char16_t unit : name) {
    if (unit >= 0x80) return BytesFromText(name);
  }
  return std::string(name.begin(), name.end());
}

bool ListNames(int dirFd, const std::function<void(const Text&, const Text&)>& onName) {
  const FileSystemCalls& calls = FileSystemCallTable();
  const int reading = calls.openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (reading < 0) return false;
  DIR* dir = calls.fdopendir(reading);
  if (dir == nullptr) {
    calls.close(reading);
    return false;
  }
  struct Closer {
    const FileSystemCalls& calls;
    DIR* dir;
    ~Closer() { calls.closedir(dir); }
  } closer{calls, dir};
  Text name;
  Text upper;
  while (const dirent* entry = calls.readdir(dir)) {
    DecodeName(entry->d_name, name);
    upper = name;
    MapToUpper(upper.data(), upper.size());
    onName(name, upper);
  }
  return true;
}

EntryFacts ReadFacts(int dirFd, const char* name) {
  const FileSystemCalls& calls = FileSystemCallTable();
  struct statx info {};
  if (calls.statx(dirFd, name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &info) == 0) {
    EntryFacts facts;
    facts.known = true;
    facts.mode = info.stx_mode;
    facts.links = info.stx_nlink;
    facts.size = static_cast<int64_t>(info.stx_size);
    facts.hasBirth = (info.stx_mask & STATX_BTIME) != 0;
    facts.id = FileId{static_cast<uint64_t>(makedev(info.stx_dev_major, info.stx_dev_minor)),
                      static_cast<uint64_t>(info.stx_ino), IdentityStamp(info)};
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
  if (errno == ENOSYS && calls.fstatat(dirFd, name, &plain, AT_SYMLINK_NOFOLLOW) == 0) {
    return FactsFromStat(plain);
  }
  return EntryFacts{};
}

EntryFacts ReadFacts(int dirFd, std::u16string_view name) noexcept {
  try {
    return ReadFacts(dirFd, NameBytes(name).c_str());
  } catch (const std::bad_alloc&) {
    return EntryFacts{};  // no memory for the name's bytes
  }
}

bool LinkTargetIsDirectory(int dirFd, std::u16string_view name) noexcept {
  try {
    struct stat target {};
    return FileSystemCallTable().fstatat(dirFd, NameBytes(name).c_str(), &target, 0) == 0 &&
           S_ISDIR(target.st_mode);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool RemoveName(int dirFd, const char* name) {
  return FileSystemCallTable().unlinkat(dirFd, name, 0) == 0;
}

const EntryFacts& FactsOf(int dirFd, const EntryView& entry, EntryState& state) {
  if (!state.factsLoaded) {
    state.facts = ReadFacts(dirFd, entry.name);
    state.factsLoaded = true;
  }
  return state.facts;
}

int TypeOf(int dirFd, const EntryView& entry, EntryState& state) {
  if (state.type != 0) return state.type;
  bool isDirectory = entry.rank < 2;
  if (!isDirectory) {
    const EntryFacts& facts = FactsOf(dirFd, entry, state);
    isDirectory = facts.known && S_ISDIR(facts.mode);
    if (facts.known && S_ISLNK(facts.mode)) isDirectory = LinkTargetIsDirectory(dirFd, entry.name);
  }
  state.type = isDirectory ? kDirectoryType : kFileType;
  return state.type;
}
