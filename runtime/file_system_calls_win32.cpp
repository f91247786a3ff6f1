#include "runtime/file_system_calls_win32.h"

namespace {

// NtOpenFile from ntdll, which every process has loaded; looked up at run
// time so the executable imports nothing beyond kernel32, user32 and msvcrt.
NtOpenFileCall NtOpenFileEntry() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return nullptr;
  return reinterpret_cast<NtOpenFileCall>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtOpenFile")));
}

}  // namespace

FileSystemCalls SystemFileSystemCalls() {
  return {CreateFileW,
          NtOpenFileEntry(),
          GetFileInformationByHandle,
          GetFileInformationByHandleEx,
          SetFileInformationByHandle,
          GetFinalPathNameByHandleW,
          CloseHandle,
          FindFirstFileW,
          FindClose,
          GetFileAttributesW,
          GetDriveTypeW};
}

FileSystemCalls& FileSystemCallTable() {
  static FileSystemCalls table = SystemFileSystemCalls();
  return table;
}
