// Text rules of the Windows build: the system's whole-string case mapping
// (CharUpperW/CharLowerW) on a NUL-terminated copy, one unit for one, and
// paths in the Windows style.
#include "runtime/text_win32.h"

#include <windows.h>

#include <cstring>
#include <new>

#include "runtime/native_name.h"
#include "runtime/path.h"
#include "runtime/text.h"

namespace {

// Maps the units through a NUL-terminated copy, so the system sees a string
// (never the single-character form of the call). Without memory the units
// stay as they are.
void MapThroughCopy(char16_t* units, size_t count, LPWSTR (*mapping)(LPWSTR)) {
  if (count == 0) return;
  wchar_t* buffer = new (std::nothrow) wchar_t[count + 1];
  if (buffer == nullptr) return;
  std::memcpy(buffer, units, count * sizeof(wchar_t));
  buffer[count] = L'\0';
  mapping(buffer);
  std::memcpy(units, buffer, count * sizeof(wchar_t));
  delete[] buffer;
}

LPWSTR CallCharUpper(LPWSTR text) {
  return CharUpperW(text);
}
LPWSTR CallCharLower(LPWSTR text) {
  return CharLowerW(text);
}

}  // namespace

void MapToUpper(char16_t* units, size_t count) {
  MapThroughCopy(units, count, CallCharUpper);
}

void MapToLower(char16_t* units, size_t count) {
  MapThroughCopy(units, count, CallCharLower);
}

const bool kExactNamesKeepCase = false;
const PathStyle kNativePathStyle = PathStyle::kWindows;

void AppendNameText(NativeName name, Text& text) {
  text += name;
}

Text NameText(NativeName name) {
  return Text(name);
}

std::u16string NativeNameOf(const Text& text) {
  return text;
}
