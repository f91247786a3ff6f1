// What the POSIX file-system service knows about an entry: its facts, read
// without following a link through the table of file-system calls, and its
// type.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string_view>

#include "runtime/file_system/file_system.h"

// What one statx call told about an entry (the entry itself, links not followed).
struct EntryFacts {
  bool known = false;
  mode_t mode = 0;
  uid_t owner = 0;
  FileId id;
  uint64_t links = 0;
  int64_t size = 0;
  int64_t created = 0;  // seconds of the birth time or its stand-in (CreationTime)
  uint32_t createdNanoseconds = 0;
  int64_t access = 0;
  int64_t write = 0;
};

// The facts of the entry `name` in the directory, whose own device is
// `device`; unknown when they can't be read or the entry lies on a file
// system another user mounted (a mount point: such a file system is asked
// nothing, so it can't make the run wait).
EntryFacts ReadFacts(int dirFd, const char* name, uint64_t device);
// The same, also unknown when no memory is left to ask.
EntryFacts ReadListedFacts(int dirFd, const char* name, uint64_t device) noexcept;

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
