#include "runtime/wildcard.h"

#include <gtest/gtest.h>

#include "runtime/file_system/name_block.h"
#include "runtime/unicode.h"

namespace {

TEST(WildcardTest, MatchesLikeTheWindowsDirectorySearch) {
  const struct {
    const char* pattern;
    const char* name;
    bool expected;
  } cases[] = {
      {"*.*", "readme", true},
      {"*.*", ".", true},
      {"*.*", ".bashrc", true},
      {"", "readme", true},
      {"*", ".hidden", true},
      {"*.log", "app.log", true},
      {"*.log", "x.log.bak", false},
      {"*.log", "readme", false},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},
      {"log*", "log", true},
      {"?", "", false},
      {"app?.log", "app1.log", true},
      {"app?.log", "app.log", false},
      {"app?.log", "app12.log", false},
      {".*", ".profile", true},
      {".*", "profile", false},
      {"x.log", "y.log", false},
      {"*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
      {"*.LOG", "app.log", true},
      {"ä*", "Äpfel.txt", true},
      {"Ä*", "äpfel.txt", true},
      {"straße", "STRASSE", false},
      // No non-ASCII letter folds onto an ASCII one, nor the other way.
      {"*.ini", "x.ını", false},  // dotless i
      {"*.INI", "x.ını", false},
      {"*.ını", "x.ini", false},
      {"*.ını", "X.ıNı", true},
      {"*.sys", "conf.ſys", false},  // long s
      {"*.ſys", "conf.sys", false},
      {"K*", "kelvin", false},  // Kelvin sign
      {"k*", "Kelvin", false},
      {"K*", "Kelvin", true},
      // A final "." stands for an empty extension.
      {"*.", "readme", true},
      {"*.", "app.log", false},
      {"*.", ".bashrc", false},
      {"*.", "odd.", true},
      {"app.", "app", true},
      {"app.", "APP", true},
      {"app.", "app.", true},
      {"app.", "apple", false},
      {"app*.", "app", true},
      {"*.log.", "x.log", true},
      {"a*.", "a.b", false},
      {"app.*", "app", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WildcardMatch(TextFromBytes(c.pattern), TextFromBytes(c.name)), c.expected)
        << "pattern \"" << c.pattern << "\", name \"" << c.name << "\"";
  }
  EXPECT_FALSE(WildcardMatchKeys(u"*.LOG", u"app.log"));  // no mapping of its own
  EXPECT_EQ(WildcardKey(u"x.ıni"), u"X.ıNI");
}

// A listed name holding a separator of the path style or a NUL is no candidate.
TEST(WildcardTest, NameTestRefusesANameWithASeparatorOfItsStyle) {
  const struct {
    PathStyle style;
    Text name;
    bool expected;
  } cases[] = {
      {PathStyle::kPosix, u"a\\b.log", true},
      {PathStyle::kWindows, u"a\\b.log", false},
      {PathStyle::kWindows, u"a/b.log", false},
      {PathStyle::kWindows, Text(u"a\0b.log", 7), false},
  };
  for (const auto& c : cases) EXPECT_EQ(NameTest(u"*.log", c.style).Matches(c.name), c.expected);
}

TEST(WildcardTest, HasWildcardFindsStarOrQuestionMark) {
  EXPECT_TRUE(HasWildcard(u"*.log"));
  EXPECT_TRUE(HasWildcard(u"a?c"));
  EXPECT_FALSE(HasWildcard(u"dir/x.log"));
  EXPECT_FALSE(HasWildcard(u""));
}

}  // namespace
