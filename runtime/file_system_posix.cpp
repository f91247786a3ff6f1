// File-system services on POSIX. A scan reads its directory once, keeps the
// names the pattern matches in a fixed, case-insensitive order and asks the
// file system about an entry only when the caller asks. Every directory a scan
// opened stays open until CloseAllScans, and deletions go through it, so a
// path component swapped for a link after the scan can't redirect them. A
// directory text is resolved once per run, through trusted links only.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "runtime/dates.h"
#include "runtime/file_identity_posix.h"
#include "runtime/file_system.h"
#include "runtime/open_files.h"
#include "runtime/trusted_path_posix.h"
#include "runtime/unicode.h"
#include "runtime/wildcard.h"

const char16_t kPathSeparator = u'/';

namespace {

// One name the pattern matched: where its code units stand in the scan's
// name block.
struct ScanEntry {
  uint32_t offset;
  uint16_t length;     // a name has at most 255 bytes, so at most 255 units
  unsigned char rank;  // 0 for ".", 1 for "..", 2 for every other name
};

// An entry as the queries see it. Its type comes from its facts, read when
// asked, not from readdir: the entry may have been swapped since.
struct EntryView {
  std::u16string_view name;
  unsigned char rank;
};

// What one statx call told about an entry (the entry itself, links not followed).
struct EntryFacts {
  bool known = false;
  mode_t mode = 0;
  FileId id;
  uint64_t links = 0;
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

class FactsPrefetch;

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
  // Last member: stopped before the entries and names go.
  std::unique_ptr<FactsPrefetch> prefetch;

  Scan() = default;
  Scan(Scan&&) noexcept = default;
  Scan& operator=(Scan&&) noexcept = default;
  ~Scan();

  EntryView View(size_t index) const {
    const ScanEntry& entry = entries[index];
    return {std::u16string_view(*names).substr(entry.offset, entry.length), entry.rank};
  }
};

struct Service {
  std::mutex lock;
  std::map<int, Scan> scans;
  // Directories resolved in this run, by directory text without trailing
  // '/': an O_PATH descriptor, or -1 when the text names no directory that
  // may be used. Each text is resolved once; the input check, the scan and
  // every removal use the same descriptor.
  std::map<std::string, int, std::less<>> keptDirectories;
  // Name blocks of ended scans: callers may still hold views into them.
  std::vector<std::unique_ptr<std::u16string>> retiredNames;
  // Files processes hold open, read again at most once a second.
  OpenFiles openFiles;
  // A scan had to leave entries out for want of memory.
  bool lostEntries = false;
};

Service& TheService() {
  static Service service;
  return service;
}

bool HoldsNul(const std::string& bytes) {
  return bytes.find('\0') != std::string::npos;
}

// "dir", "dir/" and "dir//" name the same directory; "/" stays "/".
std::string_view RegistryKey(std::string_view directory) {
  while (directory.size() > 1 && directory.back() == '/') directory.remove_suffix(1);
  return directory;
}

// The directory a text names, resolved at its first use in the run (the
// empty text is the current directory); -1 when there is none or a link on
// the way is not trusted. The lock must be held.
int DirectoryFor(std::string_view directory) {
  auto& kept = TheService().keptDirectories;
  const std::string_view key = RegistryKey(directory);
  if (const auto found = kept.find(key); found != kept.end()) return found->second;
  const int fd = OpenTrustedDirectory(AT_FDCWD, key).fd;
  kept.emplace(std::string(key), fd);
  return fd;
}

// Split of a path at its last '/': directory text and name, both views into
// `path` (the name ends where the path ends). No '/' means the current
// directory; a '/' at the start means the root.
std::pair<std::string_view, std::string_view> SplitAtLastSlash(std::string_view path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {std::string_view(), path};
  return {slash == 0 ? std::string_view("/") : path.substr(0, slash), path.substr(slash + 1)};
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

// Whether a name is one the scan's pattern asks for. A pattern without "*"
// or "?" names one file exactly, letter case included, as Linux names are;
// any other goes through the wildcard matcher.
class NameTest {
 public:
  explicit NameTest(const Text& pattern)
      : exact_(!pattern.empty() && !HasWildcard(pattern)),
        pattern_(exact_ ? pattern : WildcardKey(pattern)) {}
  // `upper` is the name's ToUpper copy; the test keeps one key buffer, so a
  // long scan makes no allocation per name.
  bool Matches(const Text& name, const Text& upper) {
    if (exact_) return name == pattern_;
    WildcardKeyInto(name, upper, key_);
    return WildcardMatchKeys(pattern_, key_);
  }

 private:
  bool exact_;
  Text pattern_;  // the pattern itself when exact, else its key
  Text key_;
};

// Reads the directory once and hands every entry whose name matches to
// `onMatch(name, upper)`; the two texts are valid during the call only.
// `dirFd` may be an O_PATH descriptor: the directory is opened for reading
// through it. Rejected names cost no system call.
template <typename OnMatch>
bool ReadMatches(int dirFd, NameTest test, OnMatch onMatch) {
  const int reading = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (reading < 0) return false;
  DIR* dir = fdopendir(reading);
  if (dir == nullptr) {
    close(reading);
    return false;
  }
  Text name;
  Text upper;
  while (const dirent* entry = readdir(dir)) {
    DecodeName(entry->d_name, name);
    upper = name;
    MapToUpper(upper.data(), upper.size());
    if (test.Matches(name, upper)) onMatch(name, upper);
  }
  closedir(dir);
  return true;
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
  return facts;
}

EntryFacts ReadFactsOfBytes(int dirFd, const char* bytes) {
  struct statx info {};
  if (statx(dirFd, bytes, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &info) == 0) {
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
    return facts;
  }
  // Kernels or sandboxes without statx still answer fstatat (no birth time).
  struct stat plain {};
  if (errno == ENOSYS && fstatat(dirFd, bytes, &plain, AT_SYMLINK_NOFOLLOW) == 0) {
    return FactsFromStat(plain);
  }
  return EntryFacts{};
}

EntryFacts ReadFacts(int dirFd, std::u16string_view name) {
  return ReadFactsOfBytes(dirFd, NameBytes(name).c_str());
}

// Reads the facts of a large scan's entries ahead of the caller on a second
// thread, so that the statx calls of a directory with many files run on two
// cores. The entries fall into blocks; the caller's thread reads the entries
// of the even blocks itself, as it goes, and the second thread reads the odd
// blocks ahead of it, a few blocks at most. An odd block the second thread has
// not begun when the caller reaches it is read by the caller too, so a busy
// machine never makes the scan wait for the second thread. The facts are the
// ones a lazy read would give a moment later; nothing is deleted on them (a
// removal checks the file again).
class FactsPrefetch {
 public:
  static constexpr size_t kBlock = 256;

  // `names` and `entries` must stay in place until the prefetch is destroyed.
  FactsPrefetch(int dirFd, std::u16string_view names, const ScanEntry* entries, size_t count)
      : dirFd_(dirFd), names_(names), entries_(entries), count_(count), slots_(kSlots) {
    worker_ = std::thread(&FactsPrefetch::Run, this);
  }

  ~FactsPrefetch() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
  }

  FactsPrefetch(const FactsPrefetch&) = delete;
  FactsPrefetch& operator=(const FactsPrefetch&) = delete;

  // Called as entry `index` becomes current, in ascending order; true with
  // `facts` filled when the second thread has read them.
  bool Take(size_t index, EntryFacts& facts) {
    const size_t block = index / kBlock;
    std::unique_lock<std::mutex> guard(lock_);
    if (block != callerBlock_) {
      callerBlock_ = block;
      // The second thread in the middle of this block: wait for it.
      changed_.wait(guard, [&] { return busy_ != block; });
      fromWorker_ = SlotOf(block).block == block;
      changed_.notify_all();  // the slot of an earlier block is free again
    }
    if (!fromWorker_) return false;
    const Slot& slot = SlotOf(block);
    const size_t at = index % kBlock;
    if (!slot.loaded[at]) return false;
    facts = slot.facts[at];
    return true;
  }

 private:
  static constexpr size_t kSlots = 8;
  static constexpr size_t kNone = SIZE_MAX;

  struct Slot {
    size_t block = kNone;
    bool loaded[kBlock] = {};
    EntryFacts facts[kBlock];
  };

  Slot& SlotOf(size_t block) { return slots_[block / 2 % kSlots]; }

  // The next odd block after the caller's, within reach of the slots; kNone
  // when every block is done or the scan ends. The lock must be held.
  size_t NextBlock(std::unique_lock<std::mutex>& guard) {
    for (;;) {
      if (stop_) return kNone;
      if (next_ <= callerBlock_)
        next_ = callerBlock_ % 2 == 0 ? callerBlock_ + 1 : callerBlock_ + 2;
      if (next_ * kBlock >= count_) return kNone;
      if (next_ < callerBlock_ + 2 * kSlots) return next_;
      changed_.wait(guard);
    }
  }

  void Run() {
    std::unique_lock<std::mutex> guard(lock_);
    for (size_t block = NextBlock(guard); block != kNone; block = NextBlock(guard)) {
      busy_ = block;
      next_ = block + 2;
      guard.unlock();
      // The caller has left the block that used this slot before.
      Slot& slot = SlotOf(block);
      const size_t end = std::min(count_, (block + 1) * kBlock);
      for (size_t index = block * kBlock; index < end; ++index) {
        slot.loaded[index % kBlock] = Read(entries_[index], slot.facts[index % kBlock]);
      }
      guard.lock();
      slot.block = block;
      busy_ = kNone;
      changed_.notify_all();
    }
  }

  // The facts of an entry; false for "." and "..", and when no memory is
  // left (the caller then reads them itself).
  bool Read(const ScanEntry& entry, EntryFacts& facts) const {
    if (entry.rank != 2) return false;
    try {
      facts = ReadFacts(dirFd_, names_.substr(entry.offset, entry.length));
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  const int dirFd_;
  const std::u16string_view names_;
  const ScanEntry* const entries_;
  const size_t count_;
  std::vector<Slot> slots_;
  std::mutex lock_;
  std::condition_variable changed_;
  size_t callerBlock_ = 0;
  size_t next_ = 1;
  size_t busy_ = kNone;
  bool fromWorker_ = false;
  bool stop_ = false;
  std::thread worker_;
};

Scan::~Scan() = default;

// Starts reading ahead for a scan large enough to have an odd block; a
// scan without it reads every entry's facts on the caller's thread.
void StartPrefetch(Scan& scan) {
  if (scan.entries.size() <= FactsPrefetch::kBlock) return;
  try {
    scan.prefetch = std::make_unique<FactsPrefetch>(scan.dirFd, *scan.names, scan.entries.data(),
                                                    scan.entries.size());
  } catch (const std::system_error&) {
    scan.prefetch.reset();  // no thread to be had: the caller reads everything
  } catch (const std::bad_alloc&) {
    scan.prefetch.reset();
  }
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
// Told by the same statx that gives the entry's other facts.
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

// Size of the first entry the pattern matches in the directory; the lock
// must be held.
int64_t FirstMatchSize(std::string_view directory, const Text& pattern) {
  const int dirFd = DirectoryFor(directory);
  if (dirFd < 0) return kNothingThere;
  bool found = false;
  Text firstName;
  Text firstUpper;
  ReadMatches(dirFd, NameTest(pattern), [&](const Text& name, const Text& upper) {
    if (found &&
        !ComesBefore(DotRank(name), upper, name, DotRank(firstName), firstUpper, firstName)) {
      return;
    }
    firstName = name;
    firstUpper = upper;
    found = true;
  });
  if (!found) return kNothingThere;
  const EntryView first{firstName, DotRank(firstName)};
  EntryState state;
  if (TypeOf(dirFd, first, state) == kDirectoryType) return kDirectorySize;
  const EntryFacts& facts = FactsOf(dirFd, first, state);
  return facts.known ? facts.size : kNothingThere;
}

// What a path without wildcards names; the lock must be held. A directory,
// or a link that may be followed to one, gives -2, and the directory is kept
// under the path's text for the scan that follows. A link another user owns
// is not followed: -1.
int64_t PlainPathSize(std::string_view path) {
  const auto [directory, name] = SplitAtLastSlash(path);
  const int dirFd = DirectoryFor(directory);
  if (dirFd < 0) return kNothingThere;
  struct stat info {};
  if (fstatat(dirFd, std::string(name).c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return kNothingThere;
  }
  const bool link = S_ISLNK(info.st_mode);
  if (!link && !S_ISDIR(info.st_mode)) return info.st_size;
  if (link && !TrustedLinkOwner(info.st_uid)) return kNothingThere;
  auto [kept, inserted] = TheService().keptDirectories.try_emplace(std::string(path), -1);
  if (inserted) kept->second = OpenTrustedDirectory(dirFd, name).fd;
  if (kept->second >= 0) return kDirectorySize;
  return link ? info.st_size : kNothingThere;  // a link to no directory
}

// Removes one name in an open directory when it still is the file `id`
// names: never a directory, never a file without any write permission bit,
// never a file a process holds open; a link goes as a link. The lock must be
// held.
int RemoveEntry(int dirFd, const char* name, const FileId& id) {
  // Read as the scan read it, so the identities compare field by field.
  const EntryFacts facts = ReadFactsOfBytes(dirFd, name);
  if (!facts.known || !(facts.id == id)) return 0;  // renamed away, or another file made since
  if (S_ISDIR(facts.mode)) return 0;
  if (!S_ISLNK(facts.mode) && (facts.mode & 0222) == 0) return 0;
  if (HeldOpen(TheService().openFiles, facts.id.volume, facts.id.file)) return 0;
  if (unlinkat(dirFd, name, 0) != 0) return 0;
  return facts.links == 1 ? kRemovedFile : kRemovedName;
}

// Fills the scan with the entries whose names match, in the scan's order.
// The names go into one block; their upper-cased forms, needed only for the
// order, into a second block of the same layout that is dropped afterwards.
bool ReadSortedMatches(int dirFd, const Text& pattern, Scan& scan) {
  std::u16string& names = *scan.names;
  // Sort keys with each unit's high byte first, so that comparing their bytes
  // (memcmp) compares the units as numbers.
  std::u16string keys;
  bool fits = true;
  auto add = [&](const Text& name, const Text& upper) {
    if (names.size() + name.size() > UINT32_MAX) {
      fits = false;
      return;
    }
    scan.entries.push_back(
        {static_cast<uint32_t>(names.size()), static_cast<uint16_t>(name.size()), DotRank(name)});
    names += name;
    for (const char16_t unit : upper) keys.push_back(static_cast<char16_t>(unit << 8 | unit >> 8));
  };
  if (!ReadMatches(dirFd, NameTest(pattern), add)) return false;
  if (!fits) {
    TheService().lostEntries = true;
    return false;
  }
  const char16_t* key = keys.data();
  const std::u16string_view name = names;
  std::sort(scan.entries.begin(), scan.entries.end(),
            [key, name](const ScanEntry& a, const ScanEntry& b) {
              // The order of ComesBefore.
              if (a.rank != b.rank) return a.rank < b.rank;
              const size_t common = std::min(a.length, b.length) * sizeof(char16_t);
              const int byKey = std::memcmp(key + a.offset, key + b.offset, common);
              if (byKey != 0) return byKey < 0;
              if (a.length != b.length) return a.length < b.length;
              return name.substr(a.offset, a.length) < name.substr(b.offset, b.length);
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
    std::lock_guard<std::mutex> guard(TheService().lock);
    if (HasWildcard(last)) return FirstMatchSize(SplitAtLastSlash(bytes).first, last);
    return PlainPathSize(bytes);
  } catch (const std::bad_alloc&) {
    return kNothingThere;
  }
}

int OpenScan(int number, const Text& directory, const Text& pattern) {
  Service& service = TheService();
  std::lock_guard<std::mutex> guard(service.lock);
  RetireScan(number);
  if (number < 0) return 0;
  try {
    const int dirFd = DirectoryFor(BytesFromText(directory));
    if (dirFd < 0) return 0;
    Scan scan;
    scan.dirFd = dirFd;
    scan.utcOffset = LocalOffsetNow();  // the offset in force now, for every file time
    if (!ReadSortedMatches(dirFd, pattern, scan)) {
      return 0;
    }
    scan.firstPending = !scan.entries.empty();
    Scan& stored = service.scans[number] = std::move(scan);
    StartPrefetch(stored);
    return 1;
  } catch (const std::bad_alloc&) {
    service.lostEntries = true;
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
  if (scan->prefetch != nullptr) {
    scan->state.factsLoaded = scan->prefetch->Take(scan->current, scan->state.facts);
  }
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
  for (const auto& kept : service.keptDirectories) {
    if (kept.second >= 0) close(kept.second);
  }
  service.keptDirectories.clear();
  service.retiredNames.clear();
  service.openFiles = OpenFiles{};
}

int RemoveFile(const Text& path, const FileId& id) {
  if (path.empty()) return 0;
  try {
    const std::string bytes = BytesFromText(path);
    if (HoldsNul(bytes)) return 0;
    const auto [directory, nameView] = SplitAtLastSlash(bytes);
    if (nameView.empty()) return 0;
    const char* name = nameView.data();  // ends where `bytes` ends, in its NUL
    Service& service = TheService();
    std::lock_guard<std::mutex> guard(service.lock);
    const int dirFd = DirectoryFor(directory);
    return dirFd < 0 ? 0 : RemoveEntry(dirFd, name, id);
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int ScansLostEntries() {
  std::lock_guard<std::mutex> guard(TheService().lock);
  return TheService().lostEntries ? 1 : 0;
}
