// The names a directory scan keeps, the test that picks them and the order
// in which the scan hands them out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text.h"

// One name the pattern matched: where its code units stand in the name block.
struct ScanEntry {
  uint32_t offset;
  uint16_t length;       // a name has at most 255 bytes, so at most 255 units
  unsigned char rank;    // 0 for ".", 1 for "..", 2 for every other name
  bool listedDirectory;  // the listing itself reported a directory
};

unsigned char DotRank(std::u16string_view name);

// "." and ".." first, then ascending upper-cased units; the original name
// breaks ties so that the order is total.
bool ComesBefore(unsigned char rankA, std::u16string_view upperA, std::u16string_view nameA,
                 unsigned char rankB, std::u16string_view upperB, std::u16string_view nameB);

// Whether a name is one the scan's pattern asks for. A pattern without "*"
// or "?" names one file exactly, letter case included, where the platform's
// names keep their case (kExactNamesKeepCase); any other goes through the
// wildcard matcher.
class NameTest {
 public:
  explicit NameTest(const Text& pattern);
  // `upper` is the name's ToUpper copy; the test keeps one key buffer, so a
  // long scan makes no allocation per name.
  bool Matches(const Text& name, const Text& upper);

 private:
  bool exact_;
  Text pattern_;  // the pattern itself when exact, else its key
  Text key_;
};

// Every matched name of a scan, back to back in one block, and the entries
// in the scan's order once Sort has run.
class NameBlock {
 public:
  // False when the block can hold no more names. `directory`: the listing
  // reported the entry as a directory.
  bool Add(const Text& name, const Text& upper, bool directory = false);
  // Puts the entries in the order of ComesBefore and drops the sort keys.
  void Sort();

  size_t size() const { return entries_.size(); }
  const ScanEntry& entry(size_t index) const { return entries_[index]; }
  std::u16string_view Name(size_t index) const {
    return std::u16string_view(*names_).substr(entries_[index].offset, entries_[index].length);
  }
  // The block itself, on the heap so that views into it stay valid wherever
  // the scan moves; taken by whoever keeps it after the scan ends.
  std::unique_ptr<std::u16string>& names() { return names_; }

 private:
  std::unique_ptr<std::u16string> names_ = std::make_unique<std::u16string>();
  std::vector<ScanEntry> entries_;
  // The upper-cased names in the layout of the block, each unit's high byte
  // first, so that comparing their bytes (memcmp) compares the units as numbers.
  std::u16string keys_;
};
