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

// One name the pattern matched, with its sort key and the type readdir saw.
struct DirEntry {
  Text name;
  Text upper;
  unsigned char kind;
  unsigned char rank;  // 0 for ".", 1 for "..", 2 for every other name
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
  std::vector<DirEntry> entries;
  size_t current = 0;
  bool firstPending = false;
  EntryState state;
};

struct Service {
  std::mutex lock;
  std::map<int, Scan> scans;
  // Directories opened by scans, by directory text without trailing '/'.
  std::map<std::string, int> keptDirectories;
  // Older descriptors of a directory text that was scanned again.
  std::vector<int> retiredDirectories;
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

int DotRank(const Text& name) {
  if (name == u".") return 0;
  if (name == u"..") return 1;
  return 2;
}

// "." and ".." first, then ascending upper-cased units; the original name
// breaks ties so that the order is total.
bool ComesBefore(const DirEntry& a, const DirEntry& b) {
  if (a.rank != b.rank) return a.rank < b.rank;
  const int byUpper = a.upper.compare(b.upper);
  if (byUpper != 0) return byUpper < 0;
  return a.name < b.name;
}

// Whether a name is one the scan's pattern asks for. A pattern without "*"
// or "?" names one file exactly, letter case included, as Linux names are;
// any other goes through the wildcard matcher.
class NameTest {
 public:
  explicit NameTest(const Text& pattern)
      : exact_(!pattern.empty() && !HasWildcard(pattern)),
        pattern_(exact_ ? pattern : WildcardKey(pattern)) {}
  bool Matches(const Text& name, const Text& upper) const {
    return exact_ ? name == pattern_ : WildcardMatchKeys(pattern_, WildcardKey(name, upper));
  }

 private:
  bool exact_;
  Text pattern_;  // the pattern itself when exact, else its key
};

// Reads the directory once and hands every entry whose name matches to
// `onMatch`. Reads through a duplicate so `dirFd` stays usable. Rejected names
// cost no system call.
template <typename OnMatch>
bool ReadMatches(int dirFd, const NameTest& test, OnMatch onMatch) {
  const int copy = fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return false;
  DIR* dir = fdopendir(copy);
  if (dir == nullptr) {
    close(copy);
    return false;
  }
  rewinddir(dir);
  while (const dirent* entry = readdir(dir)) {
    Text name = TextFromBytes(entry->d_name);
    Text upper = ToUpper(name);
    if (test.Matches(name, upper)) {
      const auto rank = static_cast<unsigned char>(DotRank(name));
      onMatch(DirEntry{std::move(name), std::move(upper), entry->d_type, rank});
    }
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

EntryFacts ReadFacts(int dirFd, const std::string& bytes) {
  struct statx info {};
  if (statx(dirFd, bytes.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &info) ==
      0) {
    EntryFacts facts;
    facts.known = true;
    facts.mode = info.stx_mode;
    facts.size = static_cast<int64_t>(info.stx_size);
    facts.hasBirth = (info.stx_mask & STATX_BTIME) != 0;
    const uint64_t birth =
        facts.hasBirth
            ? static_cast<uint64_t>(info.stx_btime.tv_sec) * 1000000000u + info.stx_btime.tv_nsec
            : 0;
    facts.id = FileId{static_cast<uint64_t>(makedev(info.stx_dev_major, info.stx_dev_minor)),
                      static_cast<uint64_t>(info.stx_ino), birth};
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

const EntryFacts& FactsOf(int dirFd, const DirEntry& entry, EntryState& state) {
  if (!state.factsLoaded) {
    state.facts = ReadFacts(dirFd, BytesFromText(entry.name));
    state.factsLoaded = true;
  }
  return state.facts;
}

bool LinkTargetIsDirectory(int dirFd, const Text& name) {
  struct stat target {};
  return fstatat(dirFd, BytesFromText(name).c_str(), &target, 0) == 0 && S_ISDIR(target.st_mode);
}

// A directory or a link to one is a directory; everything else is a file.
int TypeOf(int dirFd, const DirEntry& entry, EntryState& state) {
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
  DirEntry first;
  ReadMatches(dirFd, NameTest(pattern), [&](DirEntry&& entry) {
    if (!found || ComesBefore(entry, first)) first = std::move(entry);
    found = true;
  });
  int64_t result = kNothingThere;
  if (found) {
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
  // Read as the scan read it, so the identities compare field by field.
  const EntryFacts facts = ReadFacts(dirFd, name);
  if (!facts.known || !(facts.id == id)) return 0;  // renamed away, or another file made since
  if (S_ISDIR(facts.mode)) return 0;
  if (!S_ISLNK(facts.mode) && (facts.mode & 0222) == 0) return 0;
  return unlinkat(dirFd, name.c_str(), 0) == 0 ? 1 : 0;
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
  service.scans.erase(number);
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
    scan.entries.reserve(256);
    auto add = [&scan](DirEntry&& entry) { scan.entries.push_back(std::move(entry)); };
    if (!ReadMatches(dirFd, NameTest(pattern), add)) return 0;
    std::sort(scan.entries.begin(), scan.entries.end(), ComesBefore);
    // The sort keys are not needed again; with millions of names they would
    // double the scan's memory while the caller copies the names out.
    for (DirEntry& entry : scan.entries) Text().swap(entry.upper);
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
  return TypeOf(scan->dirFd, scan->entries[scan->current], scan->state);
}

Text EntryName(int number) {
  std::lock_guard<std::mutex> guard(TheService().lock);
  Scan* scan = ScanWithEntry(number);
  return scan == nullptr ? Text() : scan->entries[scan->current].name;
}

int64_t EntrySize(int number) {
  std::lock_guard<std::mutex> guard(TheService().lock);
  Scan* scan = ScanWithEntry(number);
  if (scan == nullptr) return 0;
  const EntryFacts& facts = FactsOf(scan->dirFd, scan->entries[scan->current], scan->state);
  return facts.known ? facts.size : 0;
}

int64_t EntryDate(int number, int selector) {
  std::lock_guard<std::mutex> guard(TheService().lock);
  Scan* scan = ScanWithEntry(number);
  if (scan == nullptr) return 0;
  const EntryFacts& facts = FactsOf(scan->dirFd, scan->entries[scan->current], scan->state);
  if (!facts.known) return 0;
  int64_t seconds = 0;
  if (selector == TimeAccessed) {
    seconds = facts.access;
  } else if (selector == TimeModified) {
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
  const EntryFacts& facts = FactsOf(scan->dirFd, scan->entries[scan->current], scan->state);
  if (!facts.known) return 0;
  id = facts.id;
  return 1;
}

void CloseScan(int number) {
  std::lock_guard<std::mutex> guard(TheService().lock);
  TheService().scans.erase(number);
}

void CloseAllScans() {
  Service& service = TheService();
  std::lock_guard<std::mutex> guard(service.lock);
  service.scans.clear();
  for (const auto& kept : service.keptDirectories) close(kept.second);
  for (const int retired : service.retiredDirectories) close(retired);
  service.keptDirectories.clear();
  service.retiredDirectories.clear();
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
