#include "runtime/file_system/removal_policy.h"

#include <gtest/gtest.h>

namespace {

TEST(RemovalPolicyTest, OnlyTheListedWritableFileGoes) {
  const FileId listed{1, 2, 3};
  const struct {
    const char* what;
    bool known;
    FileId id;
    bool directory, link;
    unsigned writeBits;
    bool heldOpen, otherFile;
    uint64_t links;
    int expected;
  } cases[] = {
      {"writable", true, listed, false, false, 0222, false, false, 1, kRemovedFile},
      {"owner only", true, listed, false, false, 0200, false, false, 1, kRemovedFile},
      {"group only", true, listed, false, false, 0020, false, false, 1, kRemovedFile},
      {"others only", true, listed, false, false, 0002, false, false, 1, kRemovedFile},
      {"read-only", true, listed, false, false, 0, false, false, 1, 0},
      {"hard link", true, listed, false, false, 0222, false, false, 2, kRemovedName},
      {"no link count", true, listed, false, false, 0222, false, false, 0, kRemovedName},
      {"vanished", false, listed, false, false, 0222, false, false, 1, 0},
      {"another file", true, {1, 9, 3}, false, false, 0222, false, false, 1, 0},
      {"another volume", true, {7, 2, 3}, false, false, 0222, false, false, 1, 0},
      {"made again", true, {1, 2, 4}, false, false, 0222, false, false, 1, 0},
      {"directory", true, listed, true, false, 0222, false, false, 1, 0},
      {"link", true, listed, false, true, 0, false, false, 1, kRemovedFile},
      {"held open", true, listed, false, false, 0222, true, false, 1, 0},
      {"link followed", true, listed, false, false, 0222, false, true, 1, 0},
  };
  for (const auto& c : cases) {
    const RemovalFacts now{c.known,     c.id,       c.directory, c.link,
                           c.writeBits, c.heldOpen, c.otherFile, c.links};
    EXPECT_EQ(RemovalVerdict(now, listed), c.expected) << c.what;
  }
}

}  // namespace
