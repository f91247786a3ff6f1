#include "runtime/wildcard.h"

#include <gtest/gtest.h>

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
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WildcardMatch(TextFromUtf8(c.pattern), TextFromUtf8(c.name)), c.expected)
        << "pattern \"" << c.pattern << "\", name \"" << c.name << "\"";
  }
  EXPECT_FALSE(WildcardMatchUpper(u"*.LOG", u"app.log"));  // no mapping of its own
}

TEST(WildcardTest, HasWildcardFindsStarOrQuestionMark) {
  EXPECT_TRUE(HasWildcard(u"*.log"));
  EXPECT_TRUE(HasWildcard(u"a?c"));
  EXPECT_FALSE(HasWildcard(u"dir/x.log"));
  EXPECT_FALSE(HasWildcard(u""));
}

}  // namespace
