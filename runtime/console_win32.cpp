// Console for the Windows build: WriteConsoleW on a console, UTF-16LE bytes
// through WriteFile when redirected; ReadConsoleW for typed answers, the
// shared line splitter over ReadFile for redirected input.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "runtime/console.h"
#include "runtime/file_system.h"
#include "runtime/input_lines.h"
#include "runtime/regex.h"
#include "runtime/text_win32.h"

namespace {

HANDLE inputHandle = INVALID_HANDLE_VALUE;
HANDLE outputHandle = INVALID_HANDLE_VALUE;

// Guards the redirected input state; set up once by InitConsole.
CRITICAL_SECTION inputLock;
bool inputLockReady = false;
RedirectedInput redirectedInput;

// Processed input, line input and echo.
constexpr DWORD kLineInputMode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;
constexpr DWORD kConsoleReadUnits = 4096;
constexpr char16_t kCtrlZ = 0x001A;

// Never handles an event, so the system ends the process; closing the console
// first releases what the run holds.
BOOL WINAPI ConsoleControlHandler(DWORD event) {
  if (event == CTRL_CLOSE_EVENT) {
    ReleaseAllPatterns();
    CloseAllScans();
  }
  return FALSE;
}

ByteRead ReadInputBytes(char* buffer, size_t size) {
  const DWORD request = static_cast<DWORD>(std::min<size_t>(size, MAXDWORD));
  DWORD received = 0;
  if (ReadFile(inputHandle, buffer, request, &received, nullptr)) {
    if (received == 0) return {ByteRead::kEnd, 0};
    return {ByteRead::kData, received};
  }
  if (GetLastError() == ERROR_BROKEN_PIPE) return {ByteRead::kEnd, 0};
  return {ByteRead::kError, 0};
}

Text ReadRedirected() {
  if (!inputLockReady) return ReadRedirectedLine(redirectedInput, ReadInputBytes);
  EnterCriticalSection(&inputLock);
  Text line = ReadRedirectedLine(redirectedInput, ReadInputBytes);
  LeaveCriticalSection(&inputLock);
  return line;
}

}  // namespace

int InitConsole() {
  inputHandle = GetStdHandle(STD_INPUT_HANDLE);
  outputHandle = GetStdHandle(STD_OUTPUT_HANDLE);
  SetConsoleCtrlHandler(ConsoleControlHandler, TRUE);
  if (!inputLockReady) {
    InitializeCriticalSection(&inputLock);
    inputLockReady = true;
  }
  return 1;
}

void WriteText(const char16_t* units, size_t count) {
  // Texts are far shorter than one call can take; a longer one goes in pieces.
  constexpr size_t kMaxUnitsPerCall = MAXDWORD / 2;
  do {
    const size_t piece = std::min(count, kMaxUnitsPerCall);
    DWORD written = 0;
    if (!WriteConsoleW(outputHandle, units, static_cast<DWORD>(piece), &written, nullptr)) {
      WriteFile(outputHandle, units, static_cast<DWORD>(piece * sizeof(char16_t)), &written,
                nullptr);
    }
    units += piece;
    count -= piece;
  } while (count > 0);
}

void WriteLine(const Text& text) {
  const size_t length = text.size() + 2;
  char16_t* line = new (std::nothrow) char16_t[length + 1];
  if (line == nullptr) return;
  std::memcpy(line, text.data(), text.size() * sizeof(char16_t));
  line[text.size()] = u'\r';
  line[text.size() + 1] = u'\n';
  line[length] = u'\0';
  WriteText(line, length);
  FlushFileBuffers(outputHandle);
  delete[] line;
}

void Write(const Text& text) {
  WriteText(text.data(), text.size());
}

Text ReadLine() {
  SetConsoleMode(inputHandle, kLineInputMode);
  wchar_t* units = new (std::nothrow) wchar_t[kConsoleReadUnits];
  if (units == nullptr) return Text();
  DWORD received = 0;
  const BOOL console = ReadConsoleW(inputHandle, units, kConsoleReadUnits, &received, nullptr);
  Text line = console ? FromWide(units, std::min<DWORD>(received, kConsoleReadUnits)) : Text();
  delete[] units;
  if (!console) return ReadRedirected();
  if (line.size() >= 2 && line[line.size() - 2] == u'\r') line.resize(line.size() - 2);
  if (line.size() == 1 && line[0] == kCtrlZ) line[0] = kEndOfInput;
  return line;
}
