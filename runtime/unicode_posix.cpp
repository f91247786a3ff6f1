// UTF-8 copies on POSIX: unpaired surrogates, escaped name bytes included,
// become U+FFFD.
#include "runtime/unicode.h"

std::string ToUtf8(const Text& text) {
  return StrictUtf8FromText(text);
}
