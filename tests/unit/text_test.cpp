// Text operations.
#include "runtime/text.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/path.h"

namespace {

TEST(Text, ParseIntegerReadsSignsAndBases) {
  struct Case {
    Text input;
    int64_t value;
  };
  const Case cases[] = {
      {u"", 0},
      {u"abc", 0},
      {u"-", 0},
      {u"+", 0},
      {u"$", 0},
      {u"%", 0},
      {u"42", 42},
      {u"  42", 42},
      {u"\t42", 42},
      {u"+42", 42},
      {u"42abc", 42},
      {u"-42", -42},
      {u"- 42", 0},
      {u"--42", 0},
      {u"\n42", 0},
      {u"\u00A042", 0},
      {u"4 2", 4},
      {u"3.9", 3},
      {u"1e3", 1},
      {u"0x1F", 0},
      {u"$1F", 31},
      {u"$1f", 31},
      {u"-$10", -16},
      {u"$G", 0},
      {u"$-5", 0},
      {u"%101", 5},
      {u"%12", 1},
      {u"%2", 0},
      {u"\uFF14\uFF12", 0},
      {u"9223372036854775807", INT64_MAX},
      {u"-9223372036854775808", INT64_MIN},
      // Decimal numbers beyond the range saturate; "$" and "%" ones wrap.
      {u"9223372036854775808", INT64_MAX},
      {u"-9223372036854775809", INT64_MIN},
      {u"18446744073709551615", INT64_MAX},
      {u"18446744073709551616", INT64_MAX},
      {u"-99999999999999999999999", INT64_MIN},
      {u"000000000000000000000000042", 42},
      {u"$FFFFFFFFFFFFFFFF", -1},
      {u"$10000000000000001", 1},
      {u"-$8000000000000000", INT64_MIN},
      {u"%1" + Text(64, u'0') + u"1", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseInteger(c.input), c.value) << std::string(c.input.begin(), c.input.end());
  }
}

TEST(Text, FormatIntegerWritesPlainDecimal) {
  struct Case {
    int64_t value;
    Text text;
  };
  const Case cases[] = {
      {0, u"0"},
      {-7, u"-7"},
      {1048576, u"1048576"},
      {INT64_MAX, u"9223372036854775807"},
      {INT64_MIN, u"-9223372036854775808"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatInteger(c.value), c.text) << c.value;
}

TEST(Text, LeftAndRightPartsClampTheirCount) {
  struct Case {
    Text text;
    int32_t count;
    Text left, right;
  };
  const Case cases[] = {
      {u"abc", 5, u"abc", u"abc"},
      {u"abc", 0, u"", u""},
      {u"abc", -1, u"", u""},
      {u"", 1, u"", u""},
      {u"tool.EXE", 4, u"tool", u".EXE"},
      {u"abc", INT32_MIN, u"", u""},
      {u"abc", INT32_MAX, u"abc", u"abc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text) + ", " + std::to_string(c.count));
    EXPECT_EQ(LeftPart(c.text, c.count), c.left);
    EXPECT_EQ(RightPart(c.text, c.count), c.right);
  }
}

TEST(Text, CaseMappingKeepsLengthAndIgnoresLocale) {
  struct Case {
    Text input, upper, lower;
  };
  const Case cases[] = {
      {u".EXE", u".EXE", u".exe"},
      {u"äöüÄÖÜ", u"ÄÖÜÄÖÜ", u"äöüäöü"},
      {u"ß", u"ß", u"ß"},
      {u"", u"", u""},
      {u"a1-_ z", u"A1-_ Z", u"a1-_ z"},
      {u"März.txt", u"MÄRZ.TXT", u"märz.txt"},
      {u"\U0001F600x", u"\U0001F600X", u"\U0001F600x"},
      {u"\xDC80\xDCFF", u"\xDC80\xDCFF", u"\xDC80\xDCFF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.input));
    EXPECT_EQ(ToUpper(c.input), c.upper);
    EXPECT_EQ(ToLower(c.input), c.lower);
    EXPECT_EQ(ToUpper(c.input).size(), c.input.size());
  }
}

TEST(Text, EqualityIsExact) {
  EXPECT_FALSE(TextEquals(u"-d", u"-D"));
  EXPECT_TRUE(TextEquals(Text(), u""));
  EXPECT_FALSE(TextEquals(u"J ", u"J"));
  EXPECT_TRUE(TextEquals(u"ä", u"ä"));
  EXPECT_EQ(TextLength(u"\U0001F600"), 2);
}

TEST(Text, PathAndFileParts) {
  struct Case {
    Text path, pathPart, filePart;
  };
  const Case cases[] = {
      {u"C:\\dir", u"C:\\", u"dir"},
      {u"C:\\dir\\", u"C:\\dir\\", u""},
      {u"C:\\dir\\*.log", u"C:\\dir\\", u"*.log"},
      {u"*.log", u"", u"*.log"},
      {u"dir\\sub", u"dir\\", u"sub"},
      {u"C:/a/b.txt", u"C:/a/", u"b.txt"},
      {u"C:x.txt", u"", u"C:x.txt"},
      {u"\"C:\\dir\\x.txt\"", u"C:\\dir\\", u"x.txt"},
      {u"C:\\a|b\\c.txt", u"C:\\", u"c.txt"},
      {u"", u"", u""},
      {u"/", u"/", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.path));
    EXPECT_EQ(PathPart(c.path), c.pathPart);
    EXPECT_EQ(FilePart(c.path), c.filePart);
  }
}

// Both builds' rules, tested on either.
TEST(Path, SplitByStyle) {
  constexpr PathStyle kPosix = PathStyle::kPosix, kWindows = PathStyle::kWindows;
  struct Case {
    PathStyle style;
    Text path, directory, file;
  };
  const Case cases[] = {
      {kWindows, u"\"/logs/app1.log\"", u"/logs/", u"app1.log"},
      {kWindows, u"/logs\\app1.log", u"/logs\\", u"app1.log"},
      // A bare drive is its root; text after the colon its current directory.
      {kWindows, u"C:", u"C:\\", u""},
      {kWindows, u"C:*.tmp", u"C:", u"*.tmp"},
      // Only "/" separates; "\" and quotes are name characters.
      {kPosix, u"\"/logs/app1.log\"", u"\"/logs/", u"app1.log\""},
      {kPosix, u"/logs\\app1.log", u"/", u"logs\\app1.log"},
      {kPosix, u"a\\b.log", u"", u"a\\b.log"},
      {kPosix, u"C:*.tmp", u"", u"C:*.tmp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.path));
    Text directory, file;
    SplitUserPath(c.path, c.style, directory, file);
    EXPECT_EQ(directory, c.directory);
    EXPECT_EQ(file, c.file);
  }
}

}  // namespace
