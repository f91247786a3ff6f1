// Text operations: pure functions over UTF-16 texts.
#include "runtime/text.h"

#include <algorithm>

namespace {

bool IsSeparator(char16_t unit) {
  return unit == u'\\' || unit == u'/';
}

// Clamps a part length to [0, length].
size_t ClampCount(const Text& text, int32_t count) {
  if (count <= 0) return 0;
  return std::min(static_cast<size_t>(count), text.size());
}

// Value of a digit in the given base, or -1.
int DigitValue(char16_t unit, int base) {
  int value = -1;
  if (unit >= u'0' && unit <= u'9')
    value = unit - u'0';
  else if (base == 16 && unit >= u'A' && unit <= u'F')
    value = unit - u'A' + 10;
  else if (base == 16 && unit >= u'a' && unit <= u'f')
    value = unit - u'a' + 10;
  return value < base ? value : -1;
}

}  // namespace

int64_t TextLength(const Text& text) {
  return static_cast<int64_t>(text.size());
}

Text LeftPart(const Text& text, int32_t count) {
  return text.substr(0, ClampCount(text, count));
}

Text RightPart(const Text& text, int32_t count) {
  return text.substr(text.size() - ClampCount(text, count));
}

Text PathPart(const Text& path) {
  size_t start = !path.empty() && path[0] == u'"' ? 1 : 0;
  size_t end = start;
  for (size_t i = start; i < path.size() && path[i] != u'|'; ++i) {
    if (IsSeparator(path[i])) end = i + 1;
  }
  return path.substr(start, end - start);
}

Text FilePart(const Text& path) {
  size_t start = !path.empty() && path[0] == u'"' ? 1 : 0;
  for (size_t i = start; i < path.size(); ++i) {
    if (IsSeparator(path[i])) start = i + 1;
  }
  size_t end = path.find(u'"', start);
  if (end == Text::npos) end = path.size();
  return path.substr(start, end - start);
}

Text ToLower(const Text& text) {
  Text copy = text;
  MapToLower(copy.data(), copy.size());
  return copy;
}

Text ToUpper(const Text& text) {
  Text copy = text;
  MapToUpper(copy.data(), copy.size());
  return copy;
}

int64_t ParseInteger(const Text& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  int base = 10;
  if (i < text.size() && text[i] == u'$')
    base = 16, ++i;
  else if (i < text.size() && text[i] == u'%')
    base = 2, ++i;
  // "$" and "%" numbers are bit patterns and wrap modulo 2^64. A decimal
  // number beyond the 64-bit range saturates at the nearest limit, so a huge
  // count or age never turns into its opposite.
  constexpr uint64_t kMaxMagnitude = uint64_t{1} << 63;  // of INT64_MIN
  uint64_t value = 0;
  bool beyond = false;
  for (; i < text.size(); ++i) {
    int digit = DigitValue(text[i], base);
    if (digit < 0) break;
    if (base == 10 && (beyond || value > (kMaxMagnitude - static_cast<uint64_t>(digit)) / 10)) {
      beyond = true;
      continue;
    }
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  if (base == 10 && (beyond || (!negative && value == kMaxMagnitude)))
    return negative ? INT64_MIN : INT64_MAX;
  if (negative) value = 0 - value;
  return static_cast<int64_t>(value);
}

bool IsWholeNumber(const Text& text) {
  const auto blank = [&text](size_t at) {
    return at < text.size() && (text[at] == u' ' || text[at] == u'\t');
  };
  size_t i = 0;
  while (blank(i)) ++i;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) ++i;
  int base = 10;
  if (i < text.size() && (text[i] == u'$' || text[i] == u'%')) base = text[i++] == u'$' ? 16 : 2;
  const size_t digits = i;
  while (i < text.size() && text[i] == u'0') ++i;
  const size_t significant = i;
  while (i < text.size() && DigitValue(text[i], base) >= 0) ++i;
  if (i == digits) return false;
  // A "$" or "%" number wider than 64 bits would wrap; decimal ones saturate.
  const size_t widest = base == 16 ? 16 : 64;
  if (base != 10 && i - significant > widest) return false;
  while (blank(i)) ++i;
  return i == text.size();
}

Text FormatInteger(int64_t value) {
  uint64_t magnitude = static_cast<uint64_t>(value);
  if (value < 0) magnitude = 0 - magnitude;
  char16_t digits[20];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  Text result;
  if (value < 0) result.push_back(u'-');
  while (count > 0) result.push_back(digits[--count]);
  return result;
}

bool TextEquals(const Text& a, const Text& b) {
  return a == b;
}
