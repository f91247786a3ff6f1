// The local wall clock for the Windows build.
#include <windows.h>

#include "runtime/dates.h"

int64_t CurrentDate() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return DateFromFields(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}
