#include "runtime/file_system/posix/listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "runtime/file_system/posix/calls.h"
#include "runtime/unicode.h"

namespace {

// The name of a directory entry as text and its ToUpper copy; plain ASCII
// skips the decoder and the case table. Both keep their storage from one
// entry to the next.
void DecodeName(std::string_view bytes, Text& name, Text& upper) {
  if (!IsPlainAscii(bytes)) {
    name = TextFromBytes(bytes);
    upper = name;
    MapToUpper(upper.data(), upper.size());
    return;
  }
  // Unit by unit into the kept storage (assigning from another character
  // type would build a temporary string per entry).
  name.resize(bytes.size());
  upper.resize(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char16_t unit = static_cast<unsigned char>(bytes[i]);
    name[i] = unit;
    upper[i] = unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit;
  }
}

}  // namespace

bool ListNames(int dirFd, const NameSink& onName) {
  const FileSystemCalls& calls = FileSystemCallTable();
  const int reading = calls.openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (reading < 0) return false;
  DIR* dir = ::fdopendir(reading);
  if (dir == nullptr) {
    ::close(reading);
    return false;
  }
  struct Closer {
    DIR* dir;
    ~Closer() { ::closedir(dir); }
  } closer{dir};
  Text name;
  Text upper;
  while (const dirent* entry = calls.readdir(dir)) {
    const std::string_view bytes(entry->d_name);
    DecodeName(bytes, name, upper);
    onName(bytes, name, upper, entry->d_type == DT_DIR);
  }
  return true;
}
