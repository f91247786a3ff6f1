// The calls of the Windows file-system service that tests answer from memory
// or make fail on cue (opening a name for deletion, the identity and listing
// queries, the disposition, the resolved path) go through one table; the
// plain opening, closing and path queries are called directly.
#pragma once

#include <windows.h>
#include <winternl.h>

using NtOpenFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        ULONG, ULONG);
using NtQueryInformationFileCall = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                    FILE_INFORMATION_CLASS);

struct FileSystemCalls {
  NtOpenFileCall ntOpenFile;                      // nullptr where ntdll lacks it
  NtQueryInformationFileCall ntQueryInformation;  // likewise
  BOOL(WINAPI* getInformationEx)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
  BOOL(WINAPI* setInformation)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
  DWORD(WINAPI* finalPath)(HANDLE, LPWSTR, DWORD, DWORD);
};

// The table the service calls through; the system's own calls unless a test
// has put others in.
FileSystemCalls& FileSystemCallTable();

// The system's own calls.
FileSystemCalls SystemFileSystemCalls();
