// Parameters of the Windows build: the process's own command line and the
// path of the running executable.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "runtime/command_line.h"
#include "runtime/parameters.h"
#include "runtime/text_win32.h"

namespace {

TEST(ParametersWin32, CursorWalksTheOwnCommandLinePerThread) {
  const Text commandLine = FromWide(GetCommandLineW());
  const int64_t count = ParameterCount();
  ASSERT_EQ(count, CountTokens(commandLine) - 1);
  ASSERT_GE(count, 1) << "the test runner passes at least a filter";
  Text first;
  ASSERT_TRUE(TokenAt(commandLine, 1, &first));
  EXPECT_EQ(NextParameter(), first);
  std::thread([&first] { EXPECT_EQ(NextParameter(), first); }).join();
  for (int64_t i = 1; i < count; ++i) NextParameter();
  EXPECT_EQ(NextParameter(), u"");
  EXPECT_EQ(NextParameter(), u"");
  EXPECT_EQ(ParameterCount(), count);
}

TEST(ParametersWin32, ExecutablePathIsFullAndNamesTheProgram) {
  const Text path = ExecutablePath();
  ASSERT_GE(path.size(), 3u);
  EXPECT_EQ(path.substr(1, 2), u":\\");
  EXPECT_EQ(ProgramName(), u"parameters_win32_test");
  EXPECT_GE(ParameterCount(), 1);
}

}  // namespace
