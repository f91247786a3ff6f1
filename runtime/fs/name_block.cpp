#include "runtime/fs/name_block.h"

#include <algorithm>
#include <cstring>

#include "runtime/wildcard.h"

unsigned char DotRank(std::u16string_view name) {
  if (name == u".") return 0;
  if (name == u"..") return 1;
  return 2;
}

bool ComesBefore(unsigned char rankA, std::u16string_view upperA, std::u16string_view nameA,
                 unsigned char rankB, std::u16string_view upperB, std::u16string_view nameB) {
  if (rankA != rankB) return rankA < rankB;
  const int byUpper = upperA.compare(upperB);
  if (byUpper != 0) return byUpper < 0;
  return nameA < nameB;
}

NameTest::NameTest(const Text& pattern)
    : exact_(kExactNamesKeepCase && !pattern.empty() && !HasWildcard(pattern)),
      pattern_(exact_ ? pattern : WildcardKey(pattern)) {}

bool NameTest::Matches(const Text& name, const Text& upper) {
  if (exact_) return name == pattern_;
  WildcardKeyInto(name, upper, key_);
  return WildcardMatchKeys(pattern_, key_);
}

bool NameBlock::Add(const Text& name, const Text& upper, bool directory) {
  std::u16string& names = *names_;
  if (names.size() + name.size() > UINT32_MAX) return false;
  entries_.push_back({static_cast<uint32_t>(names.size()), static_cast<uint16_t>(name.size()),
                      DotRank(name), directory});
  names += name;
  for (const char16_t unit : upper) keys_.push_back(static_cast<char16_t>(unit << 8 | unit >> 8));
  return true;
}

void NameBlock::Sort() {
  const char16_t* key = keys_.data();
  const std::u16string_view name = *names_;
  std::sort(entries_.begin(), entries_.end(), [key, name](const ScanEntry& a, const ScanEntry& b) {
    // The order of ComesBefore.
    if (a.rank != b.rank) return a.rank < b.rank;
    const size_t common = std::min(a.length, b.length) * sizeof(char16_t);
    const int byKey = std::memcmp(key + a.offset, key + b.offset, common);
    if (byKey != 0) return byKey < 0;
    if (a.length != b.length) return a.length < b.length;
    return name.substr(a.offset, a.length) < name.substr(b.offset, b.length);
  });
  std::u16string().swap(keys_);
}
