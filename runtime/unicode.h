// Conversions between the tool's UTF-16 texts and byte strings at the
// platform edges.
#pragma once

#include <string>
#include <string_view>

#include "runtime/text.h"

// First unit of the range that carries undecodable bytes: byte b of an
// invalid UTF-8 sequence becomes unit kEscapedByteBase + b (b >= 0x80).
inline constexpr char16_t kEscapedByteBase = 0xDC00;

// Whether every byte is below 0x80, so that each byte is its own unit; one
// pass without branches, since names are mostly plain ASCII.
inline bool IsPlainAscii(std::string_view bytes) {
  unsigned char high = 0;
  for (const char byte : bytes) high |= static_cast<unsigned char>(byte);
  return high < 0x80;
}

// Decodes UTF-8 bytes. Each byte of an invalid sequence becomes the unit
// kEscapedByteBase + byte, so every byte string round-trips through
// BytesFromText.
Text TextFromBytes(std::string_view bytes);

// Encodes to UTF-8, turning escaped byte units back into their bytes. Any
// other unpaired surrogate becomes U+FFFD.
std::string BytesFromText(std::u16string_view text);

// Encodes to strict UTF-8: every unpaired surrogate (escaped bytes included)
// becomes U+FFFD, so the result is always valid UTF-8.
std::string StrictUtf8FromText(const Text& text);

// UTF-8 copy of the text by the platform's conversion (unicode_posix /
// unicode_win32); an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(const Text& text);
