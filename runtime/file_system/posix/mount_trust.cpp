// The mount table, read from /proc/self/mountinfo through the table of
// file-system calls, and the verdict on each device met.
#include "runtime/file_system/posix/mount_trust.h"

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <string>

#include "runtime/file_system/posix/calls.h"

namespace {

struct MountTable {
  std::mutex lock;                   // the scan's second thread asks too
  std::map<uint64_t, bool> foreign;  // by device, as of the last reading
  std::set<uint64_t> unlisted;       // not in the table when it was read again for them
};

MountTable& TheMountTable() {
  static MountTable* table = new MountTable();  // lives until the process ends
  return *table;
}

std::string ReadMountInfo() {
  const FileSystemCalls& calls = FileSystemCallTable();
  std::string text;
  const int fd = calls.openat(AT_FDCWD, "/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[16384];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return text;
}

// Whether a comma-separated option list names a user other than root and
// the tool's own as the mount's owner.
bool NamesForeignUser(std::string_view options) {
  constexpr std::string_view kKey = "user_id=";
  while (!options.empty()) {
    const size_t comma = options.find(',');
    const std::string_view option = options.substr(0, comma);
    if (option.substr(0, kKey.size()) == kKey) {
      const std::string_view value = option.substr(kKey.size());
      unsigned long user = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), user);
      if (error != std::errc() || end != value.data() + value.size()) return true;
      if (user != 0 && user != geteuid()) return true;
    }
    if (comma == std::string_view::npos) break;
    options.remove_prefix(comma + 1);
  }
  return false;
}

// The field after `count` blanks, up to the next blank.
std::string_view Field(std::string_view line, int count) {
  for (int i = 0; i < count; ++i) {
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return {};
    line.remove_prefix(blank + 1);
  }
  return line.substr(0, line.find(' '));
}

// One line: "id parent major:minor root point options [optional...] - type
// source super-options". False for a line of another shape.
bool ParseLine(std::string_view line, uint64_t& device, bool& foreign) {
  const std::string_view numbers = Field(line, 2);
  const size_t colon = numbers.find(':');
  unsigned major = 0, minor = 0;
  if (colon == std::string_view::npos ||
      std::from_chars(numbers.data(), numbers.data() + colon, major).ec != std::errc() ||
      std::from_chars(numbers.data() + colon + 1, numbers.data() + numbers.size(), minor).ec !=
          std::errc()) {
    return false;
  }
  const size_t separator = line.find(" - ");
  if (separator == std::string_view::npos) return false;
  device = makedev(major, minor);
  foreign =
      NamesForeignUser(Field(line, 5)) || NamesForeignUser(Field(line.substr(separator + 3), 2));
  return true;
}

void ReadTable(MountTable& table) {
  table.foreign.clear();
  const std::string text = ReadMountInfo();
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    uint64_t device = 0;
    bool foreign = false;
    if (ParseLine(rest.substr(0, end), device, foreign)) table.foreign[device] |= foreign;
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
}

}  // namespace

bool ForeignFileSystem(uint64_t device) {
  MountTable& table = TheMountTable();
  std::lock_guard<std::mutex> guard(table.lock);
  try {
    auto found = table.foreign.find(device);
    if (found != table.foreign.end()) return found->second;
    if (table.unlisted.count(device) != 0) return false;
    ReadTable(table);  // mounted since the last reading, or never read
    found = table.foreign.find(device);
    if (found != table.foreign.end()) return found->second;
    table.unlisted.insert(device);
    return false;
  } catch (const std::bad_alloc&) {
    return true;  // nothing to vouch for it with
  }
}
