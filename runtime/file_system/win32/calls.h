// Every file-system call the Windows file-system service makes,
// through one table, so that a test can answer them from memory or make them
// fail on cue.
#pragma once

#include <windows.h>
#include <winternl.h>

using NtOpenFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        ULONG, ULONG);
using NtQueryInformationFileCall = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                    FILE_INFORMATION_CLASS);

struct FileSystemCalls {
  HANDLE(WINAPI* createFile)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
  NtOpenFileCall ntOpenFile;                      // nullptr where ntdll lacks it
  NtQueryInformationFileCall ntQueryInformation;  // likewise
  BOOL(WINAPI* getInformation)(HANDLE, LPBY_HANDLE_FILE_INFORMATION);
  BOOL(WINAPI* getInformationEx)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
  BOOL(WINAPI* setInformation)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
  DWORD(WINAPI* finalPath)(HANDLE, LPWSTR, DWORD, DWORD);
  BOOL(WINAPI* closeHandle)(HANDLE);
  // What a path names, for path facts.
  HANDLE(WINAPI* findFirst)(LPCWSTR, LPWIN32_FIND_DATAW);
  BOOL(WINAPI* findClose)(HANDLE);
  DWORD(WINAPI* attributes)(LPCWSTR);
  UINT(WINAPI* driveType)(LPCWSTR);
};

// The table the service calls through; the system's own calls unless a test
// has put others in.
FileSystemCalls& FileSystemCallTable();

// The system's own calls.
FileSystemCalls SystemFileSystemCalls();
