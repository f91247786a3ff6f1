// ParseInteger against a reference in 128-bit arithmetic: decimal numbers
// saturate at the 64-bit limits, "$" and "%" numbers wrap modulo 2^64; and
// every value written by FormatInteger reads back as itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/text.h"

namespace {

__extension__ typedef __int128 Int128;
__extension__ typedef unsigned __int128 Uint128;

int64_t Reference(const Text& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  unsigned base = 10;
  if (i < text.size() && (text[i] == u'$' || text[i] == u'%')) base = text[i++] == u'$' ? 16 : 2;
  Uint128 value = 0;
  const Uint128 cap = (static_cast<Uint128>(1) << 64) + 1;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    unsigned digit = 99;
    if (c >= u'0' && c <= u'9') digit = static_cast<unsigned>(c - u'0');
    if (c >= u'a' && c <= u'f') digit = static_cast<unsigned>(c - u'a' + 10);
    if (c >= u'A' && c <= u'F') digit = static_cast<unsigned>(c - u'A' + 10);
    if (digit >= base) break;
    value = value * base + digit;
    if (base == 10 && value > cap) value = cap;  // only the side of the limit matters
    if (base != 10) value &= UINT64_MAX;
  }
  if (base == 10) {
    const Int128 signedValue = negative ? -static_cast<Int128>(value) : static_cast<Int128>(value);
    if (signedValue > INT64_MAX) return INT64_MAX;
    if (signedValue < INT64_MIN) return INT64_MIN;
    return static_cast<int64_t>(signedValue);
  }
  uint64_t bits = static_cast<uint64_t>(value);
  if (negative) bits = 0 - bits;
  int64_t result;
  std::memcpy(&result, &bits, sizeof result);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Text text;
  for (size_t i = 0; i < size; ++i) text.push_back(data[i]);
  if (ParseInteger(text) != Reference(text)) abort();
  if (size >= sizeof(int64_t)) {
    int64_t value;
    std::memcpy(&value, data, sizeof value);
    if (ParseInteger(FormatInteger(value)) != value) abort();
  }
  return 0;
}
