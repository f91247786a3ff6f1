// UTF-8 copies in the Windows build: the system's conversion, which
// writes an unpaired surrogate as U+FFFD, so the result is always valid UTF-8.
#include <windows.h>

#include <climits>
#include <string>

#include "runtime/text_win32.h"
#include "runtime/unicode.h"

std::string ToUtf8(const Text& text) {
  if (text.size() >= static_cast<size_t>(INT_MAX)) return std::string();
  // The length passed includes the terminating NUL, so the size does too.
  const int length = static_cast<int>(text.size()) + 1;
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, AsWide(text), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string bytes(static_cast<size_t>(size), '\0');
  const int written =
      WideCharToMultiByte(CP_UTF8, 0, AsWide(text), length, bytes.data(), size, nullptr, nullptr);
  if (written <= 0) return std::string();
  bytes.resize(static_cast<size_t>(written) - 1);  // the converted NUL
  return bytes;
}
