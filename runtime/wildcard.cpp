// Wildcard matching as the Windows directory search does it for the patterns
// users give: "*" any run, "?" exactly one unit, letter case ignored, and a
// final ".*" that also matches a name's end, so "*.*" matches every name and
// "app.*" matches "app". Short (8.3) names are not matched.
#include "runtime/wildcard.h"

#include <string_view>

namespace {

// "*" and "?" against the whole name; greedy, going back to the last "*"
// on a mismatch.
bool MatchWhole(std::u16string_view pattern, std::u16string_view name) {
  size_t p = 0;
  size_t n = 0;
  size_t starAt = std::u16string_view::npos;
  size_t starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
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

}  // namespace

bool WildcardMatchUpper(const Text& upperPattern, const Text& upperName) {
  std::u16string_view pattern = upperPattern.empty() ? u"*.*" : std::u16string_view(upperPattern);
  if (MatchWhole(pattern, upperName)) return true;
  return pattern.ends_with(u".*") && MatchWhole(pattern.substr(0, pattern.size() - 2), upperName);
}

bool WildcardMatch(const Text& pattern, const Text& name) {
  return WildcardMatchUpper(ToUpper(pattern), ToUpper(name));
}

bool HasWildcard(const Text& text) {
  return text.find_first_of(u"*?") != Text::npos;
}
