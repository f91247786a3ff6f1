// Starts a program with an exact command-line text through CreateProcessW,
// which no shell or Wine argument quoting can give. The program's path and
// the text come hex-encoded (UTF-8 bytes) in the environment variables
// CLEANUP_LAUNCH_EXE and CLEANUP_LAUNCH_COMMAND_LINE, so nothing on the way
// can rewrite them. CLEANUP_LAUNCH_VARIABLES (hex too, optional) holds
// "name=value" lines set for the program first; a name may begin with "=", as
// the per-drive current directories ("=C:") do. Standard handles are passed
// on; the exit code is the program's, or 125 when it could not be started.
#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr int kLaunchFailed = 125;

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// The variable's hex text decoded as UTF-8 into UTF-16; false when it is
// missing or malformed.
bool ReadHexVariable(const wchar_t* name, std::wstring* value) {
  wchar_t hex[32768];
  const DWORD length = GetEnvironmentVariableW(name, hex, 32768);
  if (length >= 32768 || length % 2 != 0) return false;
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
  std::string bytes;
  for (DWORD i = 0; i < length; i += 2) {
    const int high = HexDigit(hex[i]);
    const int low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<char>(high * 16 + low));
  }
  value->clear();
  if (bytes.empty()) return true;
  const int units =
      MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (units <= 0) return false;
  value->resize(static_cast<size_t>(units));
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), value->data(),
                      units);
  return true;
}

HANDLE InheritableStdHandle(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
    SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  return handle;
}

// Sets each "name=value" line of the optional variable list; false when a
// line can't be set.
bool SetListedVariables() {
  std::wstring list;
  if (!ReadHexVariable(L"CLEANUP_LAUNCH_VARIABLES", &list)) return true;  // none given
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find(L'\n', start);
    if (end == std::wstring::npos) end = list.size();
    const std::wstring line = list.substr(start, end - start);
    const size_t equals = line.find(L'=', 1);
    if (equals == std::wstring::npos) return false;
    const std::wstring name = line.substr(0, equals);
    if (!SetEnvironmentVariableW(name.c_str(), line.c_str() + equals + 1)) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

int wmain() {
  std::wstring program;
  std::wstring commandLine;
  if (!ReadHexVariable(L"CLEANUP_LAUNCH_EXE", &program) ||
      !ReadHexVariable(L"CLEANUP_LAUNCH_COMMAND_LINE", &commandLine) || !SetListedVariables()) {
    return kLaunchFailed;
  }
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = InheritableStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = InheritableStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = InheritableStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return kLaunchFailed;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = kLaunchFailed;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(exitCode);
}
