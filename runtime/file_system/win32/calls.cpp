#include "runtime/file_system/win32/calls.h"

namespace {

// A call from ntdll, which every process has loaded; looked up at run time
// so the executable imports nothing beyond kernel32, user32 and msvcrt.
template <typename Call>
Call NtdllEntry(const char* name) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return nullptr;
  return reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(ntdll, name)));
}

}  // namespace

FileSystemCalls SystemFileSystemCalls() {
  return {NtdllEntry<NtOpenFileCall>("NtOpenFile"),
          NtdllEntry<NtQueryInformationFileCall>("NtQueryInformationFile"),
          GetFileInformationByHandleEx, SetFileInformationByHandle, GetFinalPathNameByHandleW};
}

FileSystemCalls& FileSystemCallTable() {
  static FileSystemCalls table = SystemFileSystemCalls();
  return table;
}
