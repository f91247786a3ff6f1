// Wildcard matching as the Windows directory search does it for the patterns
// users give: "*" any run, "?" exactly one unit, letter case ignored. A final
// ".*" also matches a name's end, so "*.*" matches every name and "app.*"
// matches "app"; a final "." also matches a name's end (an empty extension),
// so "app." matches "app" and "*." the names without a dot. Short (8.3)
// names are not matched.
#include "runtime/wildcard.h"

#include <string_view>

namespace {

// A pattern without "*" against a name of its length.
bool MatchFixed(std::u16string_view pattern, std::u16string_view name) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != u'?' && pattern[i] != name[i]) return false;
  }
  return true;
}

// "*" and "?" against the whole name; greedy, going back to the last "*"
// on a mismatch.
bool MatchWhole(std::u16string_view pattern, std::u16string_view name) {
  // What follows the last "*" has a fixed length and must match the name's
  // end: "*.LOG" costs four comparisons, not a walk over the name.
  if (const size_t lastStar = pattern.rfind(u'*'); lastStar != std::u16string_view::npos) {
    const size_t tail = pattern.size() - lastStar - 1;
    if (name.size() < tail ||
        !MatchFixed(pattern.substr(lastStar + 1), name.substr(name.size() - tail))) {
      return false;
    }
    pattern.remove_suffix(tail);
    name.remove_suffix(tail);
  }
  size_t p = 0;
  size_t n = 0;
  size_t starAt = std::u16string_view::npos;
  size_t starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      if (p + 1 == pattern.size()) return true;  // a final "*" takes the rest
      starAt = p++;
      starName = n;
    } else if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (starAt != std::u16string_view::npos) {
      p = starAt + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

// The name against `stem`, the pattern without its final ".", where that dot
// stood for the name's end. A "*" right before the dot stops at the name's
// last dot, as the Windows search has it: "*." never matches "a.b".
bool MatchWithEmptyExtension(std::u16string_view stem, std::u16string_view name) {
  if (!stem.ends_with(u'*')) return MatchWhole(stem, name);
  stem.remove_suffix(1);
  const size_t lastDot = name.rfind(u'.');
  for (size_t end = lastDot == std::u16string_view::npos ? 0 : lastDot + 1; end <= name.size();
       ++end) {
    if (MatchWhole(stem, name.substr(0, end))) return true;
  }
  return false;
}

bool IsAscii(char16_t unit) {
  return unit < 0x80;
}

}  // namespace

void WildcardKeyInto(const Text& text, const Text& upper, Text& key) {
  key = upper;
  for (size_t i = 0; i < key.size() && i < text.size(); ++i) {
    if (!IsAscii(text[i]) && IsAscii(key[i])) key[i] = text[i];
  }
}

Text WildcardKey(const Text& text, const Text& upper) {
  Text key;
  WildcardKeyInto(text, upper, key);
  return key;
}

Text WildcardKey(const Text& text) {
  return WildcardKey(text, ToUpper(text));
}

bool WildcardMatchKeys(const Text& patternKey, const Text& nameKey) {
  const std::u16string_view pattern =
      patternKey.empty() ? std::u16string_view(u"*.*") : std::u16string_view(patternKey);
  const std::u16string_view name = nameKey;
  if (MatchWhole(pattern, name)) return true;
  if (pattern.ends_with(u".*") && MatchWhole(pattern.substr(0, pattern.size() - 2), name)) {
    return true;
  }
  return pattern.ends_with(u'.') &&
         MatchWithEmptyExtension(pattern.substr(0, pattern.size() - 1), name);
}

bool WildcardMatch(const Text& pattern, const Text& name) {
  return WildcardMatchKeys(WildcardKey(pattern), WildcardKey(name));
}

bool HasWildcard(const Text& text) {
  return text.find_first_of(u"*?") != Text::npos;
}
