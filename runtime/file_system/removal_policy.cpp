#include "runtime/file_system/removal_policy.h"

int RemovalVerdict(const RemovalFacts& now, const FileId& listed) {
  // Renamed away, or another file made under the name since the scan.
  if (!now.known || !(now.id == listed) || now.otherFile) return 0;
  if (now.directory) return 0;
  if (!now.link && (now.writeBits & 0222) == 0) return 0;
  if (now.heldOpen) return 0;
  return now.links == 1 ? kRemovedFile : kRemovedName;
}
