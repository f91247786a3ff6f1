// Starts a program with its standard output on a pipe that is read only after
// the program has ended, as a parent does that collects a tool's output at
// the end. Usage: late_reader PROGRAM COMMAND-LINE. The output then goes to
// this program's standard output; the exit code is the program's, 124 when it
// did not end within the time limit (it is then ended), 125 when it could not
// be started.
#include <windows.h>

#include <string>

namespace {

constexpr DWORD kTimeLimitMs = 30000;
constexpr DWORD kPipeBytes = 1 << 20;  // far more than the output it is used for
constexpr int kTimedOut = 124;
constexpr int kNotStarted = 125;

void CopyToOutput(HANDLE pipe) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    DWORD written = 0;
    WriteFile(output, buffer, got, &written, nullptr);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return kNotStarted;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, kPipeBytes)) return kNotStarted;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  std::wstring commandLine = argv[2];
  if (!CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return kNotStarted;
  }
  CloseHandle(writeEnd);
  if (WaitForSingleObject(process.hProcess, kTimeLimitMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, kTimedOut);
    return kTimedOut;
  }
  CopyToOutput(readEnd);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}
