// UTF-8 for PCRE on POSIX: unpaired surrogates, escaped name bytes
// included, become U+FFFD.
#include "runtime/regex.h"
#include "runtime/unicode.h"

std::string ToUtf8(const Text& text) {
  return StrictUtf8FromText(text);
}
