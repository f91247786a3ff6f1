// The system calls behind the POSIX file-system service: listing a
// directory, reading an entry's facts and removing a name, each through the
// table of file-system calls.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "runtime/file_system.h"
#include "runtime/text.h"

// What one statx call told about an entry (the entry itself, links not followed).
struct EntryFacts {
  bool known = false;
  mode_t mode = 0;
  FileId id;
  uint64_t links = 0;
  int64_t size = 0;
  bool hasBirth = false;
  int64_t birth = 0;
  uint32_t createdNanoseconds = 0;  // past the creation second CreationSeconds picks
  int64_t access = 0;
  int64_t write = 0;
  int64_t change = 0;
};

// The bytes of a name for a system call.
std::string NameBytes(std::u16string_view name);

// Reads the directory once and hands every name to `onName(name, upper)`
// (decoded, and its ToUpper copy; valid during the call only). `dirFd` may
// be an O_PATH descriptor: the directory is opened for reading through it.
// False when it can't be read.
bool ListNames(int dirFd, const std::function<void(const Text&, const Text&)>& onName);

// The facts of the entry `name` in the directory; unknown when it can't be
// read.
EntryFacts ReadFacts(int dirFd, const char* name);
// The same for a name as text; also unknown when no memory is left to ask.
EntryFacts ReadFacts(int dirFd, std::u16string_view name) noexcept;

// Whether a link's target is a directory.
bool LinkTargetIsDirectory(int dirFd, std::u16string_view name) noexcept;

// Removes the name; false when the system refuses.
bool RemoveName(int dirFd, const char* name);

// An entry as the queries see it. Its type comes from its facts, read when
// asked, not from readdir: the entry may have been swapped since.
struct EntryView {
  std::u16string_view name;
  unsigned char rank;
};

// Facts about one entry, gathered lazily and kept while it is current.
struct EntryState {
  bool factsLoaded = false;
  EntryFacts facts;
  int type = 0;
};

// The entry's facts, read at the first question and kept in `state`.
const EntryFacts& FactsOf(int dirFd, const EntryView& entry, EntryState& state);

// kDirectoryType for a directory or a link to one, kFileType for everything
// else; told by the same statx that gives the entry's other facts.
int TypeOf(int dirFd, const EntryView& entry, EntryState& state);
