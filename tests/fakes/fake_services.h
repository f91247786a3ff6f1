// Test doubles for the driver's services: an in-memory directory, a settable
// clock, a recording console and a settable command line.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "runtime/file_system/file_system.h"
#include "runtime/text.h"

namespace fake {

struct Entry {
  Text name;
  int type = kFileType;  // or kDirectoryType
  int64_t size = 0;
  int64_t created = 0;
  uint32_t fraction = 0;  // nanoseconds past the creation second
  uint64_t id = 0;        // file identity; change it to stand for a new file
  bool readable = true;   // false: the entry's facts can't be read
  bool lost = false;      // the scan has no memory left for it
  int linkTo = 0;         // a link: to a file (kFileType) or a directory
};

// The one directory the fake file system knows, in scan order. Entries that
// share an id are hard links of one file.
struct Directory {
  Text path;  // the directory text a scan must name
  std::vector<Entry> entries;
  std::set<Text> undeletable;  // names whose removal fails
};

Directory& directory();
int64_t& clock();                    // what CurrentDate returns
std::vector<Text>& removed();        // names handed to RemoveFile, in order
Text& output();                      // everything written, lines end in CR LF
std::deque<Text>& answers();         // what ReadLine hands out; marker when empty
std::vector<Text>& parameters();     // the command line after the program name
std::vector<Text>& linksExamined();  // names handed to IsLinkToDirectory, in order

// Clears every fake.
void Reset();

// Base of the driver tests: every test starts with every fake cleared.
class ServicesTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
};

// The output split into lines (without CR LF); a final unterminated piece is
// the last element.
std::vector<Text> OutputLines();

}  // namespace fake
