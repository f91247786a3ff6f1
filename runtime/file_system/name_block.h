// The names a directory scan keeps, the test that picks them and the order
// in which the scan hands them out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/path.h"
#include "runtime/text.h"

// One name the pattern matched: where its bytes stand in the name block.
struct ScanEntry {
  uint32_t offset;
  uint16_t length;       // a name has at most 255 bytes
  unsigned char rank;    // 0 for ".", 1 for "..", 2 for every other name
  bool listedDirectory;  // the listing itself reported a directory
};

unsigned char DotRank(std::string_view name);

// "." and ".." first, then ascending upper-cased UTF-16 units of the decoded
// names; the decoded names themselves break ties, so that the order is
// total. The keys are computed as the names are compared (plain ASCII
// byte by byte), never stored.
bool ComesBefore(unsigned char rankA, std::string_view nameA, unsigned char rankB,
                 std::string_view nameB);

// Whether a name is one the scan's pattern asks for, one rule for every
// build. A name that holds a separator of the path style or a NUL is none:
// it would name another file, joined to the directory or cut at the NUL that
// ends a listed name. Only foreign file systems show such names on Windows;
// a POSIX listing never holds a "/" or a NUL, so that style has nothing to
// look for. A pattern without "*" or "?" names one file
// exactly, letter case included, where the platform's names keep their case
// (kExactNamesKeepCase); any other goes through the wildcard matcher.
class NameTest {
 public:
  explicit NameTest(const Text& pattern, PathStyle style = kNativePathStyle);
  // `upper` is the name's ToUpper copy; the test keeps its buffers, so a long
  // scan makes no allocation per name.
  bool Matches(const Text& name, const Text& upper);
  // The same where no ToUpper copy is at hand.
  bool Matches(const Text& name);

 private:
  std::u16string_view neverInAName_;  // none to look for in the POSIX style
  bool exact_;
  Text pattern_;  // the pattern itself when exact, else its key
  Text key_;
  Text upper_;
};

// Every matched name of a scan as the system spelled it, each once, in
// chunks that never move (views into them stay valid and no chunk is ever
// copied), and the entries in the scan's order once Sort has run.
class NameBlock {
 public:
  NameBlock();
  // False when the block can hold no more names. `directory`: the listing
  // reported the entry as a directory.
  bool Add(std::string_view name, bool directory = false);
  // Puts the entries in the order of ComesBefore.
  void Sort();

  size_t Count() const { return entries_.size(); }
  const ScanEntry& entry(size_t index) const { return entries_[index]; }
  // The name's bytes; a NUL follows them in the block, so that data() is
  // the name as a system call takes it.
  std::string_view Name(size_t index) const { return NameOf(entries_[index]); }
  std::string_view NameOf(const ScanEntry& at) const {
    return std::string_view((*chunks_)[at.offset >> kChunkBits].get() + (at.offset & kChunkMask),
                            at.length);
  }
  // The storage of the names, for whoever keeps them after the scan ends.
  std::shared_ptr<void> TakeNames() { return std::move(chunks_); }

 private:
  static constexpr unsigned kChunkBits = 16;  // 64 KiB chunks
  static constexpr uint32_t kChunkMask = (1u << kChunkBits) - 1;
  using Chunks = std::vector<std::unique_ptr<char[]>>;

  std::shared_ptr<Chunks> chunks_;
  uint32_t used_ = 0;  // bytes taken of the last chunk
  std::vector<ScanEntry> entries_;
};
