#include "runtime/file_system/posix/removal.h"

#include <sys/stat.h>

#include "runtime/file_system/posix/calls.h"
#include "runtime/file_system/posix/facts.h"
#include "runtime/file_system/removal_policy.h"

int RemoveEntry(int dirFd, const char* name, const FileId& id, OpenFiles& openFiles) {
  // Read as the scan read it, so the identities compare field by field.
  const EntryFacts facts = ReadFacts(dirFd, name, id.volume);
  RemovalFacts now;
  now.known = facts.known;
  now.id = facts.id;
  now.directory = S_ISDIR(facts.mode);
  now.link = S_ISLNK(facts.mode);
  now.writeBits = facts.mode & 0222;
  now.links = facts.links;
  now.heldOpen =
      facts.known && facts.id == id && HeldOpen(openFiles, facts.id.volume, facts.id.file);
  const int verdict = RemovalVerdict(now, id);
  return verdict != 0 && FileSystemCallTable().unlinkat(dirFd, name, 0) == 0 ? verdict : 0;
}
