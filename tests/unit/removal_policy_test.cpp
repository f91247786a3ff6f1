#include "runtime/fs/removal_policy.h"

#include <gtest/gtest.h>

namespace {

TEST(RemovalPolicyTest, OnlyTheListedWritableFileGoes) {
  const FileId listed{1, 2, 3};
  auto facts = [&](unsigned writeBits, uint64_t links = 1) {
    RemovalFacts now;
    now.known = true;
    now.id = listed;
    now.writeBits = writeBits;
    now.links = links;
    return now;
  };
  RemovalFacts unknown = facts(0222), moved = facts(0222), reborn = facts(0222), dir = facts(0222),
               link = facts(0), held = facts(0222), followed = facts(0222);
  unknown.known = false;
  moved.id.file = 9;
  reborn.id.birth = 4;
  dir.directory = true;
  link.link = true;
  held.heldOpen = true;
  followed.otherFile = true;
  const struct {
    const char* what;
    RemovalFacts now;
    int expected;
  } cases[] = {
      {"writable", facts(0644), kRemovedFile},
      {"owner only", facts(0200), kRemovedFile},
      {"group only", facts(0020), kRemovedFile},
      {"others only", facts(0002), kRemovedFile},
      {"read-only", facts(0), 0},
      {"hard link", facts(0222, 2), kRemovedName},
      {"vanished", unknown, 0},
      {"another file", moved, 0},
      {"made again", reborn, 0},
      {"directory", dir, 0},
      {"link", link, kRemovedFile},
      {"held open", held, 0},
      {"link followed", followed, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(RemovalVerdict(c.now, listed), c.expected) << c.what;
}

TEST(RemovalPolicyTest, CreationIsTheBirthElseTheOlderOfWriteAndChange) {
  EXPECT_EQ(CreationSeconds(true, 5, 3, 4), 5);
  EXPECT_EQ(CreationSeconds(false, 5, 3, 4), 3);
  EXPECT_EQ(CreationSeconds(false, 5, 7, 4), 4);
}

}  // namespace
