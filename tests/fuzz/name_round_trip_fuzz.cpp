// File names are bytes: any byte string without NUL turns into a text and
// back into the same bytes, and the strict form written to a log is always
// valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "runtime/unicode.h"

namespace {

bool HasLoneSurrogate(const Text& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

void CheckName(std::string_view name) {
  const Text text = TextFromBytes(name);
  if (text.size() > name.size() || text.find(u'\0') != Text::npos) abort();
  if (BytesFromText(text) != name) abort();
  const std::string strict = StrictUtf8FromText(text);
  const Text reread = TextFromBytes(strict);
  if (HasLoneSurrogate(reread) || BytesFromText(reread) != strict) abort();
  if (!HasLoneSurrogate(text) && strict != name) abort();  // valid UTF-8 stays as it is
}

}  // namespace

// Each run of bytes between NULs is one name.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  for (;;) {
    const size_t end = bytes.find('\0', start);
    CheckName(bytes.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return 0;
}
