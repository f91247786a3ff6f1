// The system calls behind the POSIX file-system service: listing a
// directory, reading an entry's facts and removing a name, each through the
// table of file-system calls.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "runtime/file_system/file_system.h"
#include "runtime/text.h"

// What one statx call told about an entry (the entry itself, links not followed).
struct EntryFacts {
  bool known = false;
  mode_t mode = 0;
  uid_t owner = 0;
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

// Hands every name of a directory to `onName(bytes, name, upper, directory)`:
// as the system spelled it, decoded, its ToUpper copy (all valid during the
// call only) and whether the listing itself reports a directory.
using NameSink = std::function<void(std::string_view bytes, const Text& name, const Text& upper,
                                    bool directory)>;

// Reads the directory once, each name to `onName`. `dirFd` may be an O_PATH
// descriptor: the directory is opened for reading through it. False when it
// can't be read.
bool ListNames(int dirFd, const NameSink& onName);

// The facts of the entry `name` in the directory, whose own device is
// `device`; unknown when they can't be read or the entry lies on a file
// system another user mounted (a mount point: such a file system is asked
// nothing, so it can't make the run wait).
EntryFacts ReadFacts(int dirFd, const char* name, uint64_t device);
// The same, also unknown when no memory is left to ask.
EntryFacts ReadListedFacts(int dirFd, const char* name, uint64_t device) noexcept;

// Removes the name; false when the system refuses.
bool RemoveName(int dirFd, const char* name);

// An entry as the queries see it. Its type comes from its facts, read when
// asked, not from readdir: the entry may have been swapped since; only an
// entry the listing reported as a directory is one without further ado.
struct EntryView {
  std::string_view name;  // a NUL follows it
  unsigned char rank;
  bool listedDirectory;
};

// Facts about one entry, gathered lazily and kept while it is current.
struct EntryState {
  bool factsLoaded = false;
  EntryFacts facts;
  int type = 0;
};

// The entry's facts, read at the first question and kept in `state`.
const EntryFacts& FactsOf(int dirFd, uint64_t device, const EntryView& entry, EntryState& state);

// kDirectoryType for ".", "..", an entry the listing reported as a
// directory and one its facts show as a directory; kFileType for everything
// else, a symbolic link too (where it leads is learnt only when asked, see
// IsLinkToDirectory).
int TypeOf(int dirFd, uint64_t device, const EntryView& entry, EntryState& state);
