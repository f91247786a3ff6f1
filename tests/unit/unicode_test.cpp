#include "runtime/unicode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct DecodeCase {
  const char* name;
  std::string bytes;
  Text text;
};

TEST(UnicodeTest, TextFromBytesDecodesValidAndEscapesEachInvalidByte) {
  const DecodeCase cases[] = {
      {"empty", "", u""},
      {"ascii", "abc.log", u"abc.log"},
      {"two-byte umlauts", "L\xC3\xB6schmodus", u"L\u00F6schmodus"},
      {"three-byte euro", "\xE2\x82\xAC", u"\u20AC"},
      {"supplementary char becomes a pair", "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
      {"highest code point", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
      {"lone continuation byte", "a\x80z", u"a\xDC80z"},
      {"latin-1 byte", "caf\xE9", u"caf\xDCE9"},
      {"overlong slash", "\xC0\xAF", u"\xDCC0\xDCAF"},
      {"overlong three-byte", "\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF"},
      {"overlong four-byte", "\xF0\x80\x80\xAF", u"\xDCF0\xDC80\xDC80\xDCAF"},
      {"encoded surrogate", "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
      {"truncated at end", "x\xE2\x82", u"x\xDCE2\xDC82"},
      {"truncated before ascii", "\xF0\x9F\x98\x41", u"\xDCF0\xDC9F\xDC98\x41"},
      {"bytes never in UTF-8", "\xFE\xFF", u"\xDCFE\xDCFF"},
      {"nul stays a unit", std::string("a\0b", 3), Text(u"a\0b", 3)},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TextFromBytes(c.bytes), c.text);
    EXPECT_EQ(BytesFromText(c.text), c.bytes) << "round trip";
  }
}

struct EncodeCase {
  const char* name;
  Text text;
  std::string bytes;   // BytesFromText
  std::string strict;  // StrictUtf8FromText
};

TEST(UnicodeTest, EncodingRestoresEscapedBytesOnlyWhereAllowed) {
  const EncodeCase cases[] = {
      {"plain", u"\u00C4 \u20AC", "\xC3\x84 \xE2\x82\xAC", "\xC3\x84 \xE2\x82\xAC"},
      {"pair", u"\xD83D\xDE00", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"escaped byte", u"a\xDCE9", "a\xE9", "a\xEF\xBF\xBD"},
      {"lone high surrogate", u"\xD800x", "\xEF\xBF\xBDx", "\xEF\xBF\xBDx"},
      {"high surrogate at end", u"x\xDBFF", "x\xEF\xBF\xBD", "x\xEF\xBF\xBD"},
      // Units below U+DC80 never stand for ASCII bytes such as "/" or NUL.
      {"low surrogate below escapes", u"\xDC2F", "\xEF\xBF\xBD", "\xEF\xBF\xBD"},
      {"low surrogate above escapes", u"\xDD00", "\xEF\xBF\xBD", "\xEF\xBF\xBD"},
      {"pair then escaped byte", u"\xD83D\xDE00\xDC80", "\xF0\x9F\x98\x80\x80",
       "\xF0\x9F\x98\x80\xEF\xBF\xBD"},
      {"high surrogate before escaped byte pairs", u"\xD800\xDC80", "\xF0\x90\x82\x80",
       "\xF0\x90\x82\x80"},
  };
  for (const EncodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BytesFromText(c.text), c.bytes);
    EXPECT_EQ(StrictUtf8FromText(c.text), c.strict);
  }
}

TEST(UnicodeTest, EveryByteStringRoundTrips) {
  // All one- and two-byte strings, and every lead byte before each kind of
  // continuation, cover the decoder's branches.
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const std::string bytes{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(BytesFromText(TextFromBytes(bytes)), bytes) << a << " " << b;
      const std::string longer = bytes + "\x80\xBF";
      ASSERT_EQ(BytesFromText(TextFromBytes(longer)), longer) << a << " " << b;
    }
  }
}

}  // namespace
