// Parameters for the Windows build: the process's own command-line text,
// split afresh by the tool's rules on every call.
#include <windows.h>

#include <cstdint>

#include "runtime/command_line.h"
#include "runtime/parameters.h"
#include "runtime/text_win32.h"

namespace {

// Index of the parameter that NextParameter hands out next, per thread.
thread_local int32_t parameterCursor = 0;

Text CommandLineText() {
  const wchar_t* commandLine = GetCommandLineW();
  return commandLine != nullptr ? FromWide(commandLine) : Text();
}

// The executable's module, taken once.
HMODULE ExecutableModule() {
  static const HMODULE module = GetModuleHandleW(nullptr);
  return module;
}

}  // namespace

int64_t ParameterCount() {
  return CountTokens(CommandLineText()) - 1;
}

Text NextParameter() {
  Text parameter;
  if (!TokenAt(CommandLineText(), int64_t{parameterCursor} + 1, &parameter)) return Text();
  ++parameterCursor;
  return parameter;
}

Text ExecutablePath() {
  constexpr DWORD kBufferUnits = 260;
  wchar_t buffer[kBufferUnits] = {};
  const DWORD length = GetModuleFileNameW(ExecutableModule(), buffer, kBufferUnits);
  if (length == 0) return Text();
  buffer[kBufferUnits - 1] = L'\0';  // a cut path may come back without its NUL
  Text path = FromWide(buffer);
  if (path.rfind(u"\\\\?\\", 0) == 0) path.erase(0, 4);
  return path;
}
