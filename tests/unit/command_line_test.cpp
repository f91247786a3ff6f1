#include "runtime/command_line.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "runtime/parameters.h"
#include "runtime/unicode.h"

namespace {

std::vector<Text> AllTokens(const Text& line) {
  std::vector<Text> tokens;
  Text token;
  while (TokenAt(line, static_cast<int64_t>(tokens.size()), &token)) tokens.push_back(token);
  return tokens;
}

struct SplitCase {
  Text line;
  std::vector<Text> tokens;  // token 0, the program's own name, first
};

TEST(CommandLineTest, SplitsAtSpacesAndGroupsByQuotes) {
  const SplitCase cases[] = {
      {u"cleanup", {u"cleanup"}},
      {u"cleanup -f C:\\logs\\*.log -D", {u"cleanup", u"-f", u"C:\\logs\\*.log", u"-D"}},
      {u"cleanup    -f   a   ", {u"cleanup", u"-f", u"a"}},
      {u"cleanup -b\t-D", {u"cleanup", u"-b\t-D"}},
      {u"cleanup -f \"C:\\My Logs\\*.log\"", {u"cleanup", u"-f", u"C:\\My Logs\\*.log"}},
      {u"cleanup -f \"C:\\My Logs\\\" -b", {u"cleanup", u"-f", u"C:\\My Logs\\", u"-b"}},
      // A quote inside a word opens a quoted run there too.
      {u"cleanup ab\"c d\"", {u"cleanup", u"abc d"}},
      {u"cleanup -f\"C:\\My Logs\\*.log\" -D", {u"cleanup", u"-fC:\\My Logs\\*.log", u"-D"}},
      {u"cleanup -d\"7\" -a\"2", {u"cleanup", u"-d7", u"-a2"}},
      {u"cleanup x\"\" y\"\"\"\"z", {u"cleanup", u"x", u"yz"}},
      // Text right after a closing quote continues the token.
      {u"cleanup \"a\"b", {u"cleanup", u"ab"}},
      {u"cleanup \"a\"\"b\"", {u"cleanup", u"ab"}},
      {u"cleanup -f \"C:\\My Logs\"\\*.log -D", {u"cleanup", u"-f", u"C:\\My Logs\\*.log", u"-D"}},
      {u"cleanup \"a b\"c\"d e\" f", {u"cleanup", u"a bcd e", u"f"}},
      {u"cleanup \"\"x \"\"", {u"cleanup", u"x", u""}},
      {u"cleanup \"a\\\"b", {u"cleanup", u"a\\b"}},
      {u"cleanup -f \"\" -b", {u"cleanup", u"-f", u"", u"-b"}},
      {u"cleanup -r \"a b", {u"cleanup", u"-r", u"a b"}},
      {u"cleanup -f \"", {u"cleanup", u"-f", u""}},
      {u"\"C:\\My Tools\\cleanup.exe\" -b", {u"C:\\My Tools\\cleanup.exe", u"-b"}},
      {u"C:\\My Tools\\cleanup.exe -b", {u"C:\\My", u"Tools\\cleanup.exe", u"-b"}},
      {u"  cleanup\u00A0-x", {u"cleanup\u00A0-x"}},
      {u"", {}},
      {u"    ", {}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(StrictUtf8FromText(c.line));
    EXPECT_EQ(AllTokens(c.line), c.tokens);
    // ParameterCount on Windows is CountTokens - 1: -1 for an empty line.
    EXPECT_EQ(CountTokens(c.line), static_cast<int64_t>(c.tokens.size()));
    // No token past the end, nor before the start: the token stays untouched.
    Text token = u"kept";
    EXPECT_FALSE(TokenAt(c.line, static_cast<int64_t>(c.tokens.size()), &token));
    EXPECT_FALSE(TokenAt(c.line, -1, &token));
    EXPECT_EQ(token, u"kept");
  }
}

struct NameCase {
  Text path;
  Text name;
};

TEST(ProgramNameTest, CutsAFinalExeInAnyCase) {
  const NameCase cases[] = {
      {u"C:\\Tools\\cleanup.exe", u"cleanup"},
      {u"C:\\Tools\\Cleanup.ExE", u"Cleanup"},
      {u"C:\\Tools\\cleanup.exe.bak", u"cleanup.exe.bak"},
      {u"C:\\Tools\\cleanup", u"cleanup"},
      {u"C:\\Tools\\.exe", u""},
      {u"/usr/local/bin/cleanup", u"cleanup"},
      {u"/opt/x.y/ab", u"ab"},
      {u"exe", u"exe"},
      {u"", u""},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(ProgramNameFromPath(c.path), c.name) << StrictUtf8FromText(c.path);
  }
}

// The POSIX build takes argv; the Windows build reads its own command line
// (parameters_win32_test and the end-to-end launcher tests).
#ifndef _WIN32
// The process arguments as the shell split them: argv[1..] exactly, one
// cursor per thread, bytes that aren't UTF-8 kept.
TEST(ParametersTest, HandsOutArgumentsInOrderPerThread) {
  char program[] = "cleanup";
  char option[] = "-f";
  char value[] = "a b\\\"\xE9.log";
  char* argv[] = {program, option, value, nullptr};
  SetArguments(3, argv);
  value[0] = 'X';  // the service keeps its own copy

  EXPECT_EQ(ParameterCount(), 2);
  EXPECT_EQ(NextParameter(), u"-f");
  std::thread([] {
    EXPECT_EQ(NextParameter(), u"-f");  // a new thread starts at the first parameter
  }).join();
  const Text second = NextParameter();
  EXPECT_EQ(second, u"a b\\\"\xDCE9.log");
  EXPECT_EQ(BytesFromText(second), "a b\\\"\xE9.log");
  EXPECT_EQ(NextParameter(), u"");
  EXPECT_EQ(NextParameter(), u"");
  EXPECT_EQ(ParameterCount(), 2);

  SetArguments(0, argv);
  EXPECT_EQ(ParameterCount(), -1);
  EXPECT_EQ(NextParameter(), u"");
}

TEST(ParametersTest, ProgramNameComesFromTheRunningExecutable) {
  const Text path = ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path[0], u'/');
  EXPECT_EQ(ProgramName(), u"command_line_test");
}
#endif

}  // namespace
