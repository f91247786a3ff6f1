// Name expressions through PCRE.
#include "runtime/regex.h"

#include <gtest/gtest.h>

#include "runtime/unicode.h"

namespace {

// Names of about 255 bytes, the longest sane expressions meet.
const Text kLongName = Text(u"app-") + Text(240, u'x') + u"-1.log";
const Text kDottedName = [] {
  Text name;
  for (int i = 0; i < 42; ++i)
    name += u"seg" + Text(1, static_cast<char16_t>(u'a' + i % 26)) + u".";
  return name + u"log";
}();

TEST(Regex, MatchesNamesAnywhereAndCaseSensitively) {
  struct Case {
    Text expression, subject;
    int compiled, matched;
  };
  const Case cases[] = {
      {u"\\.log$", u"x.log", 1, 1},
      {u"\\.log$", u"x.log.bak", 1, 0},
      {u"log", u"catalog.txt", 1, 1},
      {u"^log", u"catalog.txt", 1, 0},
      {u"LOG", u"app.log", 1, 0},
      {u"(?i)LOG", u"app.log", 1, 1},
      {u"(?i)MÄRZ", u"märz.txt", 1, 1},
      {u"^M.rz", u"März.txt", 1, 1},
      {u"(", u"März.txt", 0, 0},  // nor does the last expression stay
      {u"^$", u"", 1, 1},
      {u"a", u"", 1, 0},
      {u"^.$", u"\xDC80", 1, 1},
      {u"\uFFFD", u"x\xDCFFy", 1, 1},
      {u"", u"anything", 1, 1},
      {u"^app-.*-\\d+\\.log$", kLongName, 1, 1},
      {u"^(.*)-(.*)-(.*)\\.log$", kLongName, 1, 1},
      {u"^(?:(?!tmp).)*\\.log$", kLongName, 1, 1},
      {u"^(\\w+\\.?)+\\.log$", kDottedName, 1, 1},
      {u"^(?:[^.]|\\.(?!tmp))*$", kDottedName, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.expression) + " on " +
                 ::testing::PrintToString(c.subject));
    EXPECT_EQ(CompilePattern(0, c.expression) != 0, c.compiled != 0);
    EXPECT_EQ(MatchPattern(0, c.subject), c.matched);
    EXPECT_EQ(PatternLimitHits(0), 0);  // within the limits
  }
  ReleaseAllPatterns();
}

TEST(Regex, SecondCompileReplacesTheFirstAndReleaseEmpties) {
  ASSERT_NE(CompilePattern(0, u"^a"), 0);
  EXPECT_EQ(MatchPattern(0, u"abc"), 1);
  ASSERT_NE(CompilePattern(0, u"^b"), 0);
  EXPECT_EQ(MatchPattern(0, u"abc"), 0);
  EXPECT_EQ(MatchPattern(0, u"bcd"), 1);
  EXPECT_EQ(MatchPattern(3, u"bcd"), 0);  // never compiled
  ReleaseAllPatterns();
  EXPECT_EQ(MatchPattern(0, u"bcd"), 0);
}

TEST(Regex, ToUtf8ReplacesUnpairedSurrogates) {
  EXPECT_EQ(ToUtf8(u"März"), "M\xC3\xA4rz");
  EXPECT_EQ(ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(ToUtf8(u"a\xD800"), "a\xEF\xBF\xBD");
  EXPECT_EQ(ToUtf8(u"\xDC00z"), "\xEF\xBF\xBDz");
  EXPECT_EQ(ToUtf8(u""), "");
}

}  // namespace
