// UTF-8 <-> UTF-16 at the platform edges. Undecodable bytes travel through the
// tool as the units U+DC80..U+DCFF and come back out as the same bytes, so a
// file name that isn't valid UTF-8 still names the same file.
#include "runtime/unicode.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Decodes the well-formed sequence at `pos`; returns its length in bytes, or
// 0 when the bytes there don't form one (overlong forms, encoded surrogates
// and values above U+10FFFF included).
size_t DecodeSequence(std::string_view bytes, size_t pos, char32_t* code) {
  const auto lead = static_cast<unsigned char>(bytes[pos]);
  if (lead < 0x80) {
    *code = lead;
    return 1;
  }
  size_t length = 0;
  unsigned char low = 0x80;  // allowed range of the second byte
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() - pos < length) return 0;
  const auto second = static_cast<unsigned char>(bytes[pos + 1]);
  if (second < low || second > high) return 0;
  char32_t value = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[pos + i]);
    if (!IsContinuation(byte)) return 0;
    value = (value << 6) | (byte & 0x3F);
  }
  *code = value;
  return length;
}

// Appends a code point as one UTF-16 unit, or as a surrogate pair above U+FFFF.
void AppendUtf16(Text& text, char32_t code) {
  if (code < 0x10000) {
    text.push_back(static_cast<char16_t>(code));
    return;
  }
  code -= 0x10000;
  text.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
  text.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
}

}  // namespace

Text TextFromBytes(std::string_view bytes) {
  Text text;
  text.reserve(bytes.size());
  size_t pos = 0;
  while (pos < bytes.size()) {
    char32_t code = 0;
    const size_t length = DecodeSequence(bytes, pos, &code);
    if (length == 0) {
      text.push_back(
          static_cast<char16_t>(kEscapedByteBase + static_cast<unsigned char>(bytes[pos])));
      ++pos;
    } else {
      AppendUtf16(text, code);
      pos += length;
    }
  }
  return text;
}

namespace {

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// Encodes to UTF-8. Surrogate pairs join; an unpaired unit in U+DC80..U+DCFF
// becomes its byte when `restoreBytes` is set; every other unpaired surrogate
// becomes U+FFFD. Units U+DC00..U+DC7F never stand for bytes: turning them
// into ASCII would let a text smuggle in "/" or NUL.
std::string Encode(std::u16string_view text, bool restoreBytes) {
  // Paths are mostly ASCII: that part is copied in one go.
  size_t ascii = 0;
  while (ascii < text.size() && text[ascii] < 0x80) ++ascii;
  std::string out(ascii, '\0');
  for (size_t i = 0; i < ascii; ++i) out[i] = static_cast<char>(text[i]);
  for (size_t i = ascii; i < text.size(); ++i) {
    const char32_t unit = text[i];
    if (unit < 0x80) {
      out.push_back(static_cast<char>(unit));
    } else if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (restoreBytes && unit >= kEscapedByteBase + 0x80 && unit <= kEscapedByteBase + 0xFF) {
      out.push_back(static_cast<char>(unit - kEscapedByteBase));
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

}  // namespace

std::string BytesFromText(std::u16string_view text) {
  return Encode(text, true);
}

std::string StrictUtf8FromText(const Text& text) {
  return Encode(text, false);
}
