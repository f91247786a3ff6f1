// File-system services on POSIX. A scan reads its directory once, keeps the
// names the pattern matches in a fixed, case-insensitive order and asks the
// file system about an entry only when the caller asks. Every directory a scan
// opened stays open until CloseAllScans, and deletions go through it, so a
// path component swapped for a link after the scan can't redirect them: a
// listed name carries its scan's descriptor to the removal. A directory text
// is resolved once per run, through trusted links only, and the directory a
// path check opened goes to the scan as it is, not by its text. The service runs on
// the run's one thread (only the read-ahead worker shares a scan's names, and
// it hands its facts over itself), so it takes no lock. Every entry point
// answers a failure value, also when memory runs out.
#include "runtime/file_system/file_system.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "runtime/dates.h"
#include "runtime/file_system/name_block.h"
#include "runtime/file_system/posix/calls.h"
#include "runtime/file_system/posix/facts.h"
#include "runtime/file_system/posix/facts_prefetch.h"
#include "runtime/file_system/posix/listing.h"
#include "runtime/file_system/posix/open_files.h"
#include "runtime/file_system/posix/removal.h"
#include "runtime/file_system/posix/scan_registry.h"
#include "runtime/file_system/posix/trusted_path.h"
#include "runtime/file_system/removal_policy.h"
#include "runtime/path.h"
#include "runtime/unicode.h"
#include "runtime/wildcard.h"

const char16_t kPathSeparator = u'/';

namespace {

// A directory the service keeps open: an O_PATH descriptor (-1 when the text
// names no directory that may be used) and its device.
struct OpenDirectory {
  int fd = -1;
  uint64_t device = 0;
};

struct Scan {
  OpenDirectory dir;  // owned by the registry, not by the scan
  int64_t utcOffset = 0;
  NameBlock block;
  size_t current = 0;
  bool firstPending = false;
  EntryState state;
  // Last member: stopped before the names go.
  std::unique_ptr<FactsPrefetch<EntryFacts>> prefetch;

  EntryView View(size_t index) const {
    const ScanEntry& entry = block.entry(index);
    return {block.Name(index), entry.rank, entry.listedDirectory};
  }
  // The current entry's facts, read at the first question.
  const EntryFacts& Facts() { return FactsOf(dir.fd, dir.device, View(current), state); }
  // Stops the read-ahead, which reads through the block, and hands the names over.
  std::shared_ptr<void> ReleaseNames() {
    prefetch.reset();
    return block.TakeNames();
  }
};

// Directories are kept by their text without trailing '/'.
using Registry = ScanRegistry<Scan, OpenDirectory>;

// Lives until the process ends: a close routine that runs on another thread
// while the process exits never finds it destroyed.
Registry& TheRegistry() {
  static Registry* registry = new Registry();
  return *registry;
}

// Files processes hold open, read again at most once a second.
OpenFiles& TheOpenFiles() {
  static OpenFiles openFiles;
  return openFiles;
}

bool HoldsNul(const std::string& bytes) {
  return bytes.find('\0') != std::string::npos;
}

// "dir", "dir/" and "dir//" name the same directory; "/" stays "/".
std::string_view RegistryKey(std::string_view directory) {
  return directory.substr(0, LengthWithoutTrailingSeparators(directory, PathStyle::kPosix, 1));
}

// The directory `path` names relative to `startFd`, through trusted links only.
OpenDirectory OpenKept(int startFd, std::string_view path) {
  const TrustedDirectory opened = OpenTrustedDirectory(startFd, path);
  return {opened.fd, opened.device};
}

// The directory a text names, resolved at its first use in the run (the
// empty text is the current directory); fd -1 when there is none or a link
// on the way is not trusted.
OpenDirectory DirectoryFor(std::string_view directory) {
  const std::string_view key = RegistryKey(directory);
  return TheRegistry().Directory(key, [key] { return OpenKept(AT_FDCWD, key); });
}

// Starts reading ahead for a large scan; "." and ".." and the entries the
// listing reported as directories have no facts to read.
void StartPrefetch(Scan& scan) {
  const OpenDirectory dir = scan.dir;
  const NameBlock* block = &scan.block;
  scan.prefetch = FactsPrefetch<EntryFacts>::Start(
      block->Count(),
      [dir, block](size_t index, EntryFacts& facts) {
        const ScanEntry& entry = block->entry(index);
        if (entry.rank != 2 || entry.listedDirectory) return false;
        facts = ReadListedFacts(dir.fd, block->Name(index).data(), dir.device);
        return facts.known;
      },
      FileSystemCallTable().startThread);
}

// The scan under `number` with a current entry, or nullptr.
Scan* ScanWithEntry(int number) {
  Scan* scan = TheRegistry().Find(number);
  return scan == nullptr || scan->block.Count() == 0 ? nullptr : scan;
}

// Size of the first entry the pattern matches in the directory.
int64_t FirstMatchSize(std::string_view directory, const Text& pattern) {
  const OpenDirectory dir = DirectoryFor(directory);
  if (dir.fd < 0) return kNothingThere;
  bool found = false;
  bool firstDirectory = false;
  std::string first;
  NameTest test(pattern);
  ListNames(dir.fd,
            [&](std::string_view bytes, const Text& name, const Text& upper, bool listedDirectory) {
              if (!test.Matches(name, upper)) return;
              if (found && !ComesBefore(DotRank(bytes), bytes, DotRank(first), first)) return;
              first.assign(bytes);
              firstDirectory = listedDirectory;
              found = true;
            });
  if (!found) return kNothingThere;
  const EntryView entry{first, DotRank(first), firstDirectory};
  EntryState state;
  if (TypeOf(dir.fd, dir.device, entry, state) == kDirectoryType) return kDirectorySize;
  const EntryFacts& facts = FactsOf(dir.fd, dir.device, entry, state);
  if (!facts.known) return kNothingThere;
  if (facts.id.link && LinkLeadsToDirectory(dir.fd, first.c_str(), dir.device))
    return kDirectorySize;
  return facts.size;
}

// What a path without wildcards names. A directory, or a link that may be
// followed to one, gives -2 and the directory, opened here and kept for the
// scan that follows. A link another user owns is not followed: -1.
ResolvedPath PlainPath(std::string_view path) {
  const size_t cut = FilePartStart(path, PathStyle::kPosix);
  const std::string_view directory = path.substr(0, cut);  // "" is the current directory
  const std::string_view name = path.substr(cut);
  const OpenDirectory dir = DirectoryFor(directory);
  if (dir.fd < 0) return {};
  const EntryFacts facts = ReadFacts(dir.fd, std::string(name).c_str(), dir.device);
  if (!facts.known) return {};
  const bool link = S_ISLNK(facts.mode);
  if (!link && !S_ISDIR(facts.mode)) return {facts.size, {}};
  if (link && !TrustedLinkOwner(facts.owner)) return {};
  const OpenDirectory kept =
      TheRegistry().KeepOpened([dirFd = dir.fd, name = name] { return OpenKept(dirFd, name); });
  if (kept.fd >= 0) return {kDirectorySize, {kept.fd, kept.device}};
  return {link ? facts.size : kNothingThere, {}};  // a link to no directory
}

// What `act(directoryFd, name)` answers for a listed name, its bytes ended by
// a NUL for the system call; 0 when it names no entry of an open directory
// (a name holding '/' or NUL, or longer than a name can be, was never
// listed), `noMemory` when memory runs out.
template <typename Act>
int OnListedName(const ListedName& listed, int noMemory, Act act) noexcept {
  char name[NAME_MAX + 1];
  if (listed.directory < 0 || listed.name.empty() || listed.name.size() > NAME_MAX ||
      std::memchr(listed.name.data(), '/', listed.name.size()) != nullptr ||
      std::memchr(listed.name.data(), '\0', listed.name.size()) != nullptr) {
    return 0;
  }
  std::memcpy(name, listed.name.data(), listed.name.size());
  name[listed.name.size()] = '\0';
  try {
    return act(static_cast<int>(listed.directory), name);
  } catch (const std::bad_alloc&) {
    return noMemory;
  }
}

// Fills the scan with the entries whose names match, in the scan's order.
bool ReadSortedMatches(int dirFd, const Text& pattern, Scan& scan) {
  NameTest test(pattern);
  bool fits = true;
  const bool listed = ListNames(
      dirFd, [&](std::string_view bytes, const Text& name, const Text& upper, bool directory) {
        if (test.Matches(name, upper) && !scan.block.Add(bytes, directory)) fits = false;
      });
  if (!listed) return false;
  if (!fits) {
    TheRegistry().lostEntries = true;
    return false;
  }
  scan.block.Sort();
  return true;
}

}  // namespace

ResolvedPath ResolvePath(const Text& path) noexcept {
  if (path.empty()) return {};
  try {
    Text work = path.substr(0, PATH_MAX - 1);
    TrimTrailingSeparators(work, PathStyle::kPosix);
    if (work.empty()) return {};
    const std::string bytes = BytesFromText(work);
    if (HoldsNul(bytes)) return {};
    const Text last = work.substr(FilePartStart(work, PathStyle::kPosix));
    if (HasWildcard(last)) {
      const std::string_view directory =
          std::string_view(bytes).substr(0, FilePartStart(bytes, PathStyle::kPosix));
      return {FirstMatchSize(directory, last), {}};
    }
    return PlainPath(bytes);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

ScanDirectory ResolveDirectory(const Text& directory) noexcept {
  try {
    const OpenDirectory dir = DirectoryFor(BytesFromText(directory));
    if (dir.fd < 0) return {};
    return {dir.fd, dir.device};
  } catch (const std::bad_alloc&) {
    TheRegistry().lostEntries = true;
    return {};
  }
}

int OpenScan(int number, const ScanDirectory& directory, const Text& pattern) noexcept {
  Registry& registry = TheRegistry();
  registry.Retire(number);
  if (number < 0 || directory.handle < 0 || directory.handle > INT_MAX) return 0;
  try {
    const OpenDirectory dir{static_cast<int>(directory.handle), directory.device};
    Scan scan;
    scan.dir = dir;
    scan.utcOffset = LocalOffsetNow();  // the offset in force now, for every file time
    if (!ReadSortedMatches(dir.fd, pattern, scan)) {
      return 0;
    }
    scan.firstPending = scan.block.Count() != 0;
    StartPrefetch(registry.Store(number, std::move(scan)));
    return 1;
  } catch (const std::bad_alloc&) {
    registry.lostEntries = true;
    return 0;
  }
}

int NextEntry(int number) noexcept {
  Scan* scan = ScanWithEntry(number);
  if (scan == nullptr) return 0;
  if (scan->firstPending) {
    scan->firstPending = false;
    return 1;
  }
  if (scan->current + 1 >= scan->block.Count()) return 0;
  ++scan->current;
  scan->state = EntryState{};
  if (scan->prefetch != nullptr) {
    scan->state.factsLoaded = scan->prefetch->Take(scan->current, scan->state.facts);
  }
  return 1;
}

int EntryType(int number) noexcept {
  Scan* scan = ScanWithEntry(number);
  if (scan == nullptr) return 0;
  return TypeOf(scan->dir.fd, scan->dir.device, scan->View(scan->current), scan->state);
}

Text EntryName(int number) noexcept {
  try {
    return NameText(EntryListedName(number).name);
  } catch (const std::bad_alloc&) {
    return Text();
  }
}

ListedName EntryListedName(int number) noexcept {
  Scan* scan = ScanWithEntry(number);
  if (scan == nullptr) return ListedName{};
  return ListedName{scan->dir.fd, scan->View(scan->current).name};
}

int64_t EntrySize(int number) noexcept {
  Scan* scan = ScanWithEntry(number);
  if (scan == nullptr) return 0;
  const EntryFacts& facts = scan->Facts();
  return facts.known ? facts.size : 0;
}

int64_t EntryDate(int number, int selector) noexcept {
  Scan* scan = ScanWithEntry(number);
  if (scan == nullptr) return 0;
  const EntryFacts& facts = scan->Facts();
  if (!facts.known) return 0;
  const int64_t seconds = selector == TimeAccessed   ? facts.access
                          : selector == TimeModified ? facts.write
                                                     : facts.created;
  return DateFromUtcSeconds(seconds, scan->utcOffset);
}

uint32_t EntryCreationFraction(int number) noexcept {
  Scan* scan = ScanWithEntry(number);
  if (scan == nullptr) return 0;
  const EntryFacts& facts = scan->Facts();
  return facts.known ? facts.createdNanoseconds : 0;
}

int EntryId(int number, FileId& id) noexcept {
  Scan* scan = ScanWithEntry(number);
  if (scan == nullptr) return 0;
  const EntryFacts& facts = scan->Facts();
  if (!facts.known) return 0;
  id = facts.id;
  return 1;
}

int IsLinkToDirectory(const ListedName& listed, const FileId& id) noexcept {
  if (!id.link) return 0;
  // Without memory to look, the link counts as leading to a directory: it stays.
  return OnListedName(listed, 1, [&id](int dirFd, const char* name) {
    return LinkLeadsToDirectory(dirFd, name, id.volume) ? 1 : 0;
  });
}

void CloseScan(int number) noexcept {
  TheRegistry().Retire(number);
}

void CloseAllScans() noexcept {
  TheRegistry().Clear([](OpenDirectory dir) {
    if (dir.fd >= 0) ::close(dir.fd);
  });
  TheOpenFiles() = OpenFiles{};
}

int RemoveFile(const ListedName& listed, const FileId& id) noexcept {
  return OnListedName(listed, 0, [&id](int dirFd, const char* name) {
    return RemoveEntry(dirFd, name, id, TheOpenFiles());
  });
}

int ScansLostEntries() noexcept {
  return TheRegistry().lostEntries ? 1 : 0;
}
