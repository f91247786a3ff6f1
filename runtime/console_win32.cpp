// Console for the Windows build: WriteConsoleW on a console, UTF-16LE bytes
// through WriteFile when redirected; ReadConsoleW for typed answers, the
// shared line splitter over ReadFile for redirected input.
#include <windows.h>

#include <algorithm>

#include "runtime/console.h"
#include "runtime/input_lines.h"

namespace {

HANDLE inputHandle = INVALID_HANDLE_VALUE;
HANDLE outputHandle = INVALID_HANDLE_VALUE;

// Guards the redirected input state; set up once by InitConsole.
CRITICAL_SECTION inputLock;
bool inputLockReady = false;
RedirectedInput redirectedInput;

// Processed input, line input and echo.
constexpr DWORD kLineInputMode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;

// Never handles an event, so the system ends the process; closing the console
// first releases what the run holds.
BOOL WINAPI ConsoleControlHandler(DWORD event) {
  if (event == CTRL_CLOSE_EVENT) RunCloseRoutine();
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

bool ReadConsoleUnits(char16_t* buffer, size_t size, size_t* received) {
  DWORD got = 0;
  const DWORD request = static_cast<DWORD>(std::min<size_t>(size, MAXDWORD));
  if (!ReadConsoleW(inputHandle, buffer, request, &got, nullptr)) return false;
  *received = std::min<size_t>(got, size);
  return true;
}

Text ReadRedirected() {
  if (!inputLockReady) return ReadRedirectedLine(redirectedInput, ReadInputBytes);
  EnterCriticalSection(&inputLock);
  Text line = ReadRedirectedLine(redirectedInput, ReadInputBytes);
  LeaveCriticalSection(&inputLock);
  return line;
}

}  // namespace

// Ctrl+C and closing the console end the process at once, as always.
void HoldStopSignals() {}
void ReleaseStopSignals() {}

int InitConsole() {
  inputHandle = GetStdHandle(STD_INPUT_HANDLE);
  outputHandle = GetStdHandle(STD_OUTPUT_HANDLE);
  SetConsoleCtrlHandler(ConsoleControlHandler, TRUE);
  if (!inputLockReady) {
    InitializeCriticalSection(&inputLock);
    inputLockReady = true;
  }
  OutputIsTerminal();
  return 1;
}

bool OutputIsTerminal() {
  static const bool console = [] {
    DWORD mode = 0;
    return GetConsoleMode(outputHandle, &mode) != 0;
  }();
  return console;
}

// One WriteConsoleW or WriteFile per text, never a flush: a flush waits until
// the reader of a pipe has read the line, and costs a disk write per line.
void WriteText(const char16_t* units, size_t count) {
  // Texts are far shorter than one call can take; a longer one goes in pieces.
  constexpr size_t kMaxUnitsPerCall = MAXDWORD / 2;
  do {
    const size_t piece = std::min(count, kMaxUnitsPerCall);
    DWORD written = 0;
    if (!WriteConsoleW(outputHandle, units, static_cast<DWORD>(piece), &written, nullptr)) {
      const DWORD bytes = static_cast<DWORD>(piece * sizeof(char16_t));
      if (!WriteFile(outputHandle, units, bytes, &written, nullptr)) {
        // A pipe whose reader went away lets the run go on; a full disk does not.
        const DWORD error = GetLastError();
        if (error != ERROR_BROKEN_PIPE && error != ERROR_NO_DATA) NoteOutputFailure();
      } else if (written != bytes) {
        NoteOutputFailure();
      }
    }
    units += piece;
    count -= piece;
  } while (count > 0);
}

Text ReadAnswer() {
  SetConsoleMode(inputHandle, kLineInputMode);
  Text line;
  if (ReadConsoleLine(ReadConsoleUnits, &line)) return line;
  return ReadRedirected();
}
