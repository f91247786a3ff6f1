#include "runtime/file_system/name_block.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>

#include "runtime/unicode.h"
#include "runtime/wildcard.h"

namespace {

unsigned char AsciiUpper(unsigned char byte) {
  return byte >= 'a' && byte <= 'z' ? static_cast<unsigned char>(byte - 32) : byte;
}

// The order of ComesBefore for names of one rank, from their decoded units.
bool DecodedComesBefore(std::string_view a, std::string_view b) {
  const Text nameA = TextFromBytes(a);
  const Text nameB = TextFromBytes(b);
  Text upperA = nameA;
  Text upperB = nameB;
  MapToUpper(upperA.data(), upperA.size());
  MapToUpper(upperB.data(), upperB.size());
  const int byUpper = upperA.compare(upperB);
  if (byUpper != 0) return byUpper < 0;
  return nameA < nameB;
}

}  // namespace

unsigned char DotRank(std::string_view name) {
  if (name == ".") return 0;
  if (name == "..") return 1;
  return 2;
}

bool ComesBefore(unsigned char rankA, std::string_view a, unsigned char rankB, std::string_view b) {
  if (rankA != rankB) return rankA < rankB;
  const size_t common = std::min(a.size(), b.size());
  size_t i = 0;
  // Equal ASCII bytes are equal units and keys: skip them eight at a time.
  constexpr uint64_t kHighBits = 0x8080808080808080u;
  for (uint64_t x, y; i + 8 <= common; i += 8) {
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x == y && (x & kHighBits) == 0) continue;
    // The bytes before the first that differs are equal ASCII too.
    if constexpr (std::endian::native == std::endian::little) {
      if ((x & kHighBits) == 0 && x != y) i += static_cast<size_t>(std::countr_zero(x ^ y) / 8);
    }
    break;
  }
  for (; i < common; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x == y && x < 0x80) continue;  // equal ASCII: equal units and keys
    // Beyond ASCII, bytes are no units: decode both from here (rare, and it
    // costs no storage). The ASCII before decodes the same on both sides.
    if ((x | y) >= 0x80) return DecodedComesBefore(a.substr(i), b.substr(i));
    if (AsciiUpper(x) != AsciiUpper(y)) return AsciiUpper(x) < AsciiUpper(y);
  }
  // One key is a prefix of the other, whose rest has at least one more unit.
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;  // plain ASCII of one length: bytes compare as units do
}

NameTest::NameTest(const Text& pattern, PathStyle style)
    : neverInAName_(style == PathStyle::kWindows ? std::u16string_view(u"\\/\0", 3) : u""),
      exact_(kExactNamesKeepCase && !pattern.empty() && !HasWildcard(pattern)),
      pattern_(exact_ ? pattern : WildcardKey(pattern)) {}

bool NameTest::Matches(const Text& name, const Text& upper) {
  if (!neverInAName_.empty() && name.find_first_of(neverInAName_) != Text::npos) return false;
  if (exact_) return name == pattern_;
  // A plain ASCII name's key is its upper-case copy itself.
  if (std::all_of(name.begin(), name.end(), [](char16_t unit) { return unit < 0x80; })) {
    return WildcardMatchKeys(pattern_, upper);
  }
  WildcardKeyInto(name, upper, key_);
  return WildcardMatchKeys(pattern_, key_);
}

bool NameTest::Matches(const Text& name) {
  upper_ = name;
  MapToUpper(upper_.data(), upper_.size());
  return Matches(name, upper_);
}

NameBlock::NameBlock() : chunks_(std::make_shared<Chunks>()) {}

bool NameBlock::Add(std::string_view name, bool directory) {
  Chunks& chunks = *chunks_;
  const size_t room = name.size() + 1;  // the name and its NUL
  if (room > kChunkMask + 1) return false;
  if (chunks.empty() || used_ + room > kChunkMask + 1) {
    if (chunks.size() > (UINT32_MAX >> kChunkBits)) return false;
    chunks.push_back(std::make_unique_for_overwrite<char[]>(kChunkMask + 1));
    used_ = 0;
  }
  const uint32_t offset = static_cast<uint32_t>((chunks.size() - 1) << kChunkBits) + used_;
  entries_.push_back({offset, static_cast<uint16_t>(name.size()), DotRank(name), directory});
  char* at = chunks.back().get() + used_;
  std::memcpy(at, name.data(), name.size());
  at[name.size()] = '\0';
  used_ += static_cast<uint32_t>(room);
  return true;
}

void NameBlock::Sort() {
  const auto name = [chunks = chunks_->data()](const ScanEntry& at) {
    return std::string_view(chunks[at.offset >> kChunkBits].get() + (at.offset & kChunkMask),
                            at.length);
  };
  const auto before = [&name](const ScanEntry& a, const ScanEntry& b) {
    return ComesBefore(a.rank, name(a), b.rank, name(b));
  };
  // Names made in their order (numbered or dated logs) come in order from
  // file systems that list in creation order (btrfs) or against it (tmpfs,
  // after "." and ".."): they cost a pass or two instead of a sort.
  const auto names = std::find_if(entries_.begin(), entries_.end(),
                                  [](const ScanEntry& entry) { return entry.rank == 2; });
  if (!std::is_sorted(names, entries_.end(), before) &&
      std::is_sorted(std::make_reverse_iterator(entries_.end()), std::make_reverse_iterator(names),
                     before)) {
    std::reverse(names, entries_.end());
  }
  if (!std::is_sorted(entries_.begin(), entries_.end(), before)) {
    std::sort(entries_.begin(), entries_.end(), before);
  }
}
