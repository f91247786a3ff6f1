// File-system services on POSIX. A scan reads its directory once, keeps the
// names the pattern matches in a fixed, case-insensitive order and asks the
// file system about an entry only when the caller asks. Every directory a scan
// opened stays open until CloseAllScans, and deletions go through it, so a
// path component swapped for a link after the scan can't redirect them.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "runtime/dates.h"
#include "runtime/file_system.h"
#include "runtime/unicode.h"
#include "runtime/wildcard.h"

const char16_t kPathSeparator = u'/';

namespace {

constexpr int kFileType = 1;
constexpr int kDirectoryType = 2;

// One name the pattern matched: where its code units stand in the scan's
// name block, and the type readdir saw.
struct ScanEntry {
  uint32_t offset;
  uint16_t length;  // a name has at most 255 bytes, so at most 255 units
  unsigned char kind;
  unsigned char rank;  // 0 for ".", 1 for "..", 2 for every other name
};

// An entry as the queries see it: its name and what readdir told.
struct EntryView {
  std::u16string_view name;
  unsigned char kind;
  unsigned char rank;
};

// What one statx call told about an entry (the entry itself, links not followed).
struct EntryFacts {
  bool known = false;
  mode_t mode = 0;
  FileId id;
  int64_t size = 0;
  bool hasBirth = false;
  int64_t birth = 0;
  int64_t access = 0;
  int64_t write = 0;
  int64_t change = 0;
};

// Facts about one entry, gathered lazily and kept while it is current.
struct EntryState {
  bool factsLoaded = false;
  EntryFacts facts;
  int type = 0;
};

struct Scan {
  int dirFd = -1;  // owned by the descriptor registry, not by the scan
  int64_t utcOffset = 0;
  // Every matched name, back to back; on the heap so that views into it stay
  // valid wherever the scan or the block moves.
  std::unique_ptr<std::u16string> names = std::make_unique<std::u16string>();
  std::vector<ScanEntry> entries;
  size_t current = 0;
  bool firstPending = false;
  EntryState state;

  EntryView View(size_t index) const {
    const ScanEntry& entry = entries[index];
    return {std::u16string_view(*names).substr(entry.offset, entry.length), entry.kind, entry.rank};
  }
};

struct Service {
  std::mutex lock;
  std::map<int, Scan> scans;
  // Directories opened by scans, by directory text without trailing '/'.
  std::map<std::string, int> keptDirectories;
  // Older descriptors of a directory text that was scanned again.
  std::vector<int> retiredDirectories;
  // Name blocks of ended scans: callers may still hold views into them.
  std::vector<std::unique_ptr<std::u16string>> retiredNames;
};

Service& TheService() {
  static Service service;
  return service;
}

bool HoldsNul(const std::string& bytes) {
  return bytes.find('\0') != std::string::npos;
}

// "dir", "dir/" and "dir//" name the same directory; "/" stays "/".
std::string RegistryKey(std::string directory) {
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory;
}

// Opens a directory text; the empty text is the current directory.
int OpenDirectory(const std::string& directory) {
  if (HoldsNul(directory)) return -1;
  const char* path = directory.empty() ? "." : directory.c_str();
  return open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Split of a path at its last '/': directory text and name. No '/' means the
// current directory; a '/' at the start means the root.
std::pair<std::string, std::string> SplitAtLastSlash(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {std::string(), path};
  return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

unsigned char DotRank(std::u16string_view name) {
  if (name == u".") return 0;
  if (name == u"..") return 1;
  return 2;
}

// "." and ".." first, then ascending upper-cased units; the original name
// breaks ties so that the order is total.
bool ComesBefore(unsigned char rankA, std::u16string_view upperA, std::u16string_view nameA,
                 unsigned char rankB, std::u16string_view upperB, std::u16string_view nameB) {
  if (rankA != rankB) return rankA < rankB;
  const int byUpper = upperA.compare(upperB);
  if (byUpper != 0) return byUpper < 0;
  return nameA < nameB;
}

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

// The bytes of a name for a system call.
std::string NameBytes(std::u16string_view name) {
  for (const char16_t unit : name) {
    if (unit >= 0x80) return BytesFromText(name);
  }
  return std::string(name.begin(), name.end());
}

// Reads the directory once and hands every entry whose name matches to
// `onMatch(name, upper, type)`; the two texts are valid during the call only.
// Reads through a duplicate so `dirFd` stays usable. Rejected names cost no
// system call.
template <typename OnMatch>
bool ReadMatches(int dirFd, const Text& upperPattern, OnMatch onMatch) {
  const int copy = fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return false;
  DIR* dir = fdopendir(copy);
  if (dir == nullptr) {
    close(copy);
    return false;
  }
  rewinddir(dir);
  Text name;
  Text upper;
  while (const dirent* entry = readdir(dir)) {
    DecodeName(entry->d_name, name);
    upper = name;
    MapToUpper(upper.data(), upper.size());
    if (WildcardMatchUpper(upperPattern, upper)) onMatch(name, upper, entry->d_type);
  }
  closedir(dir);
  return true;
}

EntryFacts FactsFromStat(const struct stat& info) {
  EntryFacts facts;
  facts.known = true;
  facts.mode = info.st_mode;
  facts.id = FileId{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  facts.size = info.st_size;
  facts.access = info.st_atim.tv_sec;
  facts.write = info.st_mtim.tv_sec;
  facts.change = info.st_ctim.tv_sec;
  return facts;
}

EntryFacts ReadFacts(int dirFd, std::u16string_view name) {
  const std::string bytes = NameBytes(name);
  struct statx info {};
  if (statx(dirFd, bytes.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &info) ==
      0) {
    EntryFacts facts;
    facts.known = true;
    facts.mode = info.stx_mode;
    facts.id = FileId{static_cast<uint64_t>(makedev(info.stx_dev_major, info.stx_dev_minor)),
                      static_cast<uint64_t>(info.stx_ino)};
    facts.size = static_cast<int64_t>(info.stx_size);
    facts.hasBirth = (info.stx_mask & STATX_BTIME) != 0;
    facts.birth = info.stx_btime.tv_sec;
    facts.access = info.stx_atime.tv_sec;
    facts.write = info.stx_mtime.tv_sec;
    facts.change = info.stx_ctime.tv_sec;
    return facts;
  }
  // Kernels or sandboxes without statx still answer fstatat (no birth time).
  struct stat plain {};
  if (errno == ENOSYS && fstatat(dirFd, bytes.c_str(), &plain, AT_SYMLINK_NOFOLLOW) == 0) {
    return FactsFromStat(plain);
  }
  return EntryFacts{};
}

const EntryFacts& FactsOf(int dirFd, const EntryView& entry, EntryState& state) {
  if (!state.factsLoaded) {
    state.facts = ReadFacts(dirFd, entry.name);
    state.factsLoaded = true;
  }
  return state.facts;
}

bool LinkTargetIsDirectory(int dirFd, std::u16string_view name) {
  struct stat target {};
  return fstatat(dirFd, NameBytes(name).c_str(), &target, 0) == 0 && S_ISDIR(target.st_mode);
}

// A directory or a link to one is a directory; everything else is a file.
int TypeOf(int dirFd, const EntryView& entry, EntryState& state) {
  if (state.type != 0) return state.type;
  bool isLink = entry.kind == DT_LNK;
  bool isDirectory = entry.kind == DT_DIR || entry.rank < 2;
  if (entry.kind == DT_UNKNOWN && !isDirectory) {
    const EntryFacts& facts = FactsOf(dirFd, entry, state);
    isDirectory = facts.known && S_ISDIR(facts.mode);
    isLink = facts.known && S_ISLNK(facts.mode);
  }
  if (isLink) isDirectory = LinkTargetIsDirectory(dirFd, entry.name);
  state.type = isDirectory ? kDirectoryType : kFileType;
  return state.type;
}

// The scan under `number`; the service lock must be held.
Scan* FindScan(int number) {
  auto& scans = TheService().scans;
  const auto found = scans.find(number);
  return found == scans.end() ? nullptr : &found->second;
}

// The scan's current entry, or nullptr when there is no scan or no entry.
Scan* ScanWithEntry(int number) {
  Scan* scan = FindScan(number);
  return scan == nullptr || scan->entries.empty() ? nullptr : scan;
}

// Keeps a scan's directory descriptor until CloseAllScans; the lock must be held.
void KeepDirectory(const std::string& directory, int dirFd) {
  Service& service = TheService();
  auto [slot, inserted] = service.keptDirectories.try_emplace(RegistryKey(directory), dirFd);
  if (!inserted) {
    service.retiredDirectories.push_back(slot->second);
    slot->second = dirFd;
  }
}

int64_t FirstMatchSize(const std::string& directory, const Text& pattern) {
  const int dirFd = OpenDirectory(directory);
  if (dirFd < 0) return kNothingThere;
  bool found = false;
  Text firstName;
  Text firstUpper;
  unsigned char firstKind = 0;
  ReadMatches(
      dirFd, ToUpper(pattern), [&](const Text& name, const Text& upper, unsigned char kind) {
        if (found &&
            !ComesBefore(DotRank(name), upper, name, DotRank(firstName), firstUpper, firstName)) {
          return;
        }
        firstName = name;
        firstUpper = upper;
        firstKind = kind;
        found = true;
      });
  int64_t result = kNothingThere;
  if (found) {
    const EntryView first{firstName, firstKind, DotRank(firstName)};
    EntryState state;
    if (TypeOf(dirFd, first, state) == kDirectoryType) {
      result = kDirectorySize;
    } else if (const EntryFacts& facts = FactsOf(dirFd, first, state); facts.known) {
      result = facts.size;
    }
  }
  close(dirFd);
  return result;
}

int64_t PlainPathSize(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return kNothingThere;
  if (S_ISDIR(info.st_mode)) return kDirectorySize;
  struct stat target {};
  if (S_ISLNK(info.st_mode) && stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
    return kDirectorySize;
  }
  return info.st_size;
}

// Removes one name in an open directory when it still is the file `id`
// names: never a directory, never a file without any write permission bit;
// a link goes as a link.
int RemoveEntry(int dirFd, const std::string& name, const FileId& id) {
  struct stat info {};
  if (fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return 0;
  const FileId now{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
  if (!(now == id)) return 0;  // renamed away and another file put in its place
  if (S_ISDIR(info.st_mode)) return 0;
  if (!S_ISLNK(info.st_mode) && (info.st_mode & 0222) == 0) return 0;
  return unlinkat(dirFd, name.c_str(), 0) == 0 ? 1 : 0;
}

// Fills the scan with the entries whose names match, in the scan's order.
// The names go into one block; their upper-cased forms, needed only for the
// order, into a second block of the same layout that is dropped afterwards.
bool ReadSortedMatches(int dirFd, const Text& upperPattern, Scan& scan) {
  std::u16string& names = *scan.names;
  std::u16string uppers;
  bool fits = true;
  auto add = [&](const Text& name, const Text& upper, unsigned char kind) {
    if (names.size() + name.size() > UINT32_MAX) {
      fits = false;
      return;
    }
    scan.entries.push_back({static_cast<uint32_t>(names.size()), static_cast<uint16_t>(name.size()),
                            kind, DotRank(name)});
    names += name;
    uppers += upper;
  };
  if (!ReadMatches(dirFd, upperPattern, add) || !fits) return false;
  const std::u16string_view upper = uppers;
  const std::u16string_view name = names;
  std::sort(scan.entries.begin(), scan.entries.end(),
            [name, upper](const ScanEntry& a, const ScanEntry& b) {
              return ComesBefore(a.rank, upper.substr(a.offset, a.length),
                                 name.substr(a.offset, a.length), b.rank,
                                 upper.substr(b.offset, b.length), name.substr(b.offset, b.length));
            });
  return true;
}

// Ends the scan under `number`, keeping its names for the views handed out;
// the service lock must be held.
void RetireScan(int number) {
  Service& service = TheService();
  const auto found = service.scans.find(number);
  if (found == service.scans.end()) return;
  std::unique_ptr<std::u16string>& names = found->second.names;
  if (names != nullptr && !names->empty()) service.retiredNames.push_back(std::move(names));
  service.scans.erase(found);
}

}  // namespace

int64_t PathSize(const Text& path) {
  if (path.empty()) return kNothingThere;
  try {
    Text work = path.substr(0, PATH_MAX - 1);
    while (!work.empty() && work.back() == u'/') work.pop_back();
    if (work.empty()) return kNothingThere;
    const std::string bytes = BytesFromText(work);
    if (HoldsNul(bytes)) return kNothingThere;
    const size_t slash = work.rfind(u'/');
    const Text last = slash == Text::npos ? work : work.substr(slash + 1);
    if (HasWildcard(last)) return FirstMatchSize(SplitAtLastSlash(bytes).first, last);
    return PlainPathSize(bytes);
  } catch (...) {
    return kNothingThere;
  }
}

int OpenScan(int number, const Text& directory, const Text& pattern) {
  Service& service = TheService();
  std::lock_guard<std::mutex> guard(service.lock);
  RetireScan(number);
  if (number < 0) return 0;
  int dirFd = -1;
  try {
    const std::string directoryBytes = BytesFromText(directory);
    dirFd = OpenDirectory(directoryBytes);
    if (dirFd < 0) return 0;
    KeepDirectory(directoryBytes, dirFd);
  } catch (...) {
    if (dirFd >= 0) close(dirFd);
    return 0;
  }
  try {
    Scan scan;
    scan.dirFd = dirFd;
    scan.utcOffset = LocalOffsetNow();  // the offset in force now, for every file time
    if (!ReadSortedMatches(dirFd, ToUpper(pattern.empty() ? Text(u"*.*") : pattern), scan)) {
      return 0;
    }
    scan.firstPending = !scan.entries.empty();
    service.scans[number] = std::move(scan);
    return 1;
  } catch (...) {
    return 0;
  }
}

int NextEntry(int number) {
  std::lock_guard<std::mutex> guard(TheService().lock);
  Scan* scan = ScanWithEntry(number);
  if (scan == nullptr) return 0;
  if (scan->firstPending) {
    scan->firstPending = false;
    return 1;
  }
  if (scan->current + 1 >= scan->entries.size()) return 0;
  ++scan->current;
  scan->state = EntryState{};
  return 1;
}

int EntryType(int number) {
  std::lock_guard<std::mutex> guard(TheService().lock);
  Scan* scan = ScanWithEntry(number);
  if (scan == nullptr) return 0;
  return TypeOf(scan->dirFd, scan->View(scan->current), scan->state);
}

Text EntryName(int number) {
  return Text(EntryNameView(number));
}

std::u16string_view EntryNameView(int number) {
  std::lock_guard<std::mutex> guard(TheService().lock);
  Scan* scan = ScanWithEntry(number);
  return scan == nullptr ? std::u16string_view() : scan->View(scan->current).name;
}

int64_t EntrySize(int number) {
  std::lock_guard<std::mutex> guard(TheService().lock);
  Scan* scan = ScanWithEntry(number);
  if (scan == nullptr) return 0;
  const EntryFacts& facts = FactsOf(scan->dirFd, scan->View(scan->current), scan->state);
  return facts.known ? facts.size : 0;
}

int64_t EntryDate(int number, int selector) {
  std::lock_guard<std::mutex> guard(TheService().lock);
  Scan* scan = ScanWithEntry(number);
  if (scan == nullptr) return 0;
  const EntryFacts& facts = FactsOf(scan->dirFd, scan->View(scan->current), scan->state);
  if (!facts.known) return 0;
  int64_t seconds = 0;
  if (selector == 1) {
    seconds = facts.access;
  } else if (selector == 2) {
    seconds = facts.write;
  } else {
    // Creation: the birth time, or where none is kept the older of the
    // last-write and change times.
    seconds = facts.hasBirth ? facts.birth : std::min(facts.write, facts.change);
  }
  return DateFromUtcSeconds(seconds, scan->utcOffset);
}

int EntryId(int number, FileId& id) {
  std::lock_guard<std::mutex> guard(TheService().lock);
  Scan* scan = ScanWithEntry(number);
  if (scan == nullptr) return 0;
  const EntryFacts& facts = FactsOf(scan->dirFd, scan->View(scan->current), scan->state);
  if (!facts.known) return 0;
  id = facts.id;
  return 1;
}

void CloseScan(int number) {
  std::lock_guard<std::mutex> guard(TheService().lock);
  RetireScan(number);
}

void CloseAllScans() {
  Service& service = TheService();
  std::lock_guard<std::mutex> guard(service.lock);
  service.scans.clear();
  for (const auto& kept : service.keptDirectories) close(kept.second);
  for (const int retired : service.retiredDirectories) close(retired);
  service.keptDirectories.clear();
  service.retiredDirectories.clear();
  service.retiredNames.clear();
}

int RemoveFile(const Text& path, const FileId& id) {
  if (path.empty()) return 0;
  try {
    const std::string bytes = BytesFromText(path);
    if (HoldsNul(bytes)) return 0;
    const auto [directory, name] = SplitAtLastSlash(bytes);
    if (name.empty()) return 0;
    Service& service = TheService();
    std::lock_guard<std::mutex> guard(service.lock);
    const auto kept = service.keptDirectories.find(RegistryKey(directory));
    if (kept != service.keptDirectories.end()) return RemoveEntry(kept->second, name, id);
    const int dirFd = OpenDirectory(directory);
    if (dirFd < 0) return 0;
    const int removed = RemoveEntry(dirFd, name, id);
    close(dirFd);
    return removed;
  } catch (...) {
    return 0;
  }
}
