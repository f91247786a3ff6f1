// Text rules of the POSIX build: a fixed simple Unicode case mapping from the
// C.UTF-8 locale (never the user's locale, one code unit for one), and paths
// whose only separator is "/".
#include <locale.h>
#include <wctype.h>

#include <algorithm>

#include "runtime/native_name.h"
#include "runtime/path.h"
#include "runtime/text.h"
#include "runtime/unicode.h"

namespace {

locale_t MappingLocale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return locale;
}

// Maps one unit; surrogates and results outside the BMP stay unchanged so
// the length never changes.
char16_t MapUnit(char16_t unit, bool upper) {
  if (unit < 0x80) {
    if (upper && unit >= u'a' && unit <= u'z') return static_cast<char16_t>(unit - 32);
    if (!upper && unit >= u'A' && unit <= u'Z') return static_cast<char16_t>(unit + 32);
    return unit;
  }
  if (unit >= 0xD800 && unit <= 0xDFFF) return unit;
  locale_t locale = MappingLocale();
  if (locale == static_cast<locale_t>(0)) return unit;
  wint_t mapped = upper ? towupper_l(unit, locale) : towlower_l(unit, locale);
  return mapped <= 0xFFFF ? static_cast<char16_t>(mapped) : unit;
}

}  // namespace

void MapToUpper(char16_t* units, size_t count) {
  for (size_t i = 0; i < count; ++i) units[i] = MapUnit(units[i], true);
}

void MapToLower(char16_t* units, size_t count) {
  for (size_t i = 0; i < count; ++i) units[i] = MapUnit(units[i], false);
}

const bool kExactNamesKeepCase = true;

const PathStyle kNativePathStyle = PathStyle::kPosix;

void AppendNameText(NativeName name, Text& text) {
  if (!IsPlainAscii(name)) {
    text += TextFromBytes(name);
    return;
  }
  // Plain ASCII needs no decoder; resize and copy, since appending from
  // another character type would build a temporary string per name.
  const size_t at = text.size();
  text.resize(at + name.size());
  std::copy(name.begin(), name.end(), text.begin() + static_cast<ptrdiff_t>(at));
}

Text NameText(NativeName name) {
  Text text;
  AppendNameText(name, text);
  return text;
}

std::string NativeNameOf(const Text& text) {
  return BytesFromText(text);
}
