// The wildcard matcher against a plain reference: a table of "does the rest
// of the pattern match the rest of the name" and the top-level rules stated
// as directly as they read. Pattern and name are drawn from the units the
// rules single out and letters that must or must not fold together.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/text.h"
#include "runtime/wildcard.h"

namespace {

constexpr char16_t kUnits[] = {
    u'*', u'?', u'.',      u'.', u'a', u'A',      u'b',      u'i',      u'I',      u'\u0131',
    u's', u'S', u'\u017F', u'k', u'K', u'\u212A', u'\u00E4', u'\u00C4', u'\u00DF', u'x',
};

// One unit as compared: its upper case, unless that would make a non-ASCII
// letter ASCII.
char16_t Fold(char16_t unit) {
  const char16_t upper = ToUpper(Text(1, unit))[0];
  return unit >= 0x80 && upper < 0x80 ? unit : upper;
}

// "*" any run, "?" one unit, every other unit itself: fits[i][j] tells
// whether pattern[i..] matches name[j..].
bool Whole(const Text& pattern, const Text& name) {
  const size_t p = pattern.size();
  const size_t n = name.size();
  std::vector<std::vector<char>> fits(p + 1, std::vector<char>(n + 1, 0));
  fits[p][n] = 1;
  for (size_t i = p; i-- > 0;) {
    for (size_t j = n + 1; j-- > 0;) {
      if (pattern[i] == u'*') {
        fits[i][j] = fits[i + 1][j] || (j < n && fits[i][j + 1]);
      } else {
        fits[i][j] = j < n && (pattern[i] == u'?' || Fold(pattern[i]) == Fold(name[j])) &&
                     fits[i + 1][j + 1];
      }
    }
  }
  return fits[0][0] != 0;
}

bool Reference(Text pattern, const Text& name) {
  if (pattern.empty()) pattern = u"*.*";
  if (Whole(pattern, name)) return true;
  // "stem.*" also matches what "stem" matches.
  if (pattern.ends_with(u".*") && Whole(pattern.substr(0, pattern.size() - 2), name)) return true;
  if (!pattern.ends_with(u'.')) return false;
  // "stem." also matches what "stem" matches, except that a final "*" of the
  // stem covers no dot of the name.
  Text stem = pattern.substr(0, pattern.size() - 1);
  if (!stem.ends_with(u'*')) return Whole(stem, name);
  stem.pop_back();
  for (size_t cut = 0; cut <= name.size(); ++cut) {
    if (name.find(u'.', cut) == Text::npos && Whole(stem, name.substr(0, cut))) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 64) return 0;
  const size_t split = data[0] % size;  // pattern units, then name units
  Text pattern;
  Text name;
  for (size_t i = 1; i < size; ++i) {
    const char16_t unit = kUnits[data[i] % (sizeof kUnits / sizeof kUnits[0])];
    (i <= split ? pattern : name).push_back(unit);
  }
  if (WildcardMatch(pattern, name) != Reference(pattern, name)) std::abort();
  return 0;
}
