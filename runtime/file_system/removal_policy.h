// Whether a listed file may be removed, decided from what its name holds
// now. One rule for every build: the platform units only gather the facts.
#pragma once

#include <cstdint>

#include "runtime/file_system/file_system.h"

// What a name holds just before its removal, read without following a link.
struct RemovalFacts {
  bool known = false;      // false: the name holds nothing that could be read
  FileId id;               // read as the scan read it
  bool directory = false;  // a directory, never removed
  bool link = false;       // a symbolic link: it goes as a link, whatever its mode
  unsigned writeBits = 0;  // the mode's 0222 bits; none at all is read-only
  bool heldOpen = false;   // a process holds the file open
  bool otherFile = false;  // the opened file is not the entry itself (a link followed)
  uint64_t links = 0;      // names the file has, this one included
};

// kRemovedFile or kRemovedName (what a removal frees) when the name may go,
// 0 when it stays: it no longer holds the file `listed` names, or it holds a
// file that must not be deleted.
int RemovalVerdict(const RemovalFacts& now, const FileId& listed);
