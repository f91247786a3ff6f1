// Text rules of the Windows build: the system's whole-string case mapping
// (CharUpperW/CharLowerW) on a NUL-terminated copy, one unit for one, and
// paths split with PathPart and FilePart.
#include "runtime/text_win32.h"

#include <windows.h>

#include <cstring>
#include <new>

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

// The path and file parts stop at "|" and end at a double quote; when they
// don't add up to the whole value (apart from enclosing quotes), taking them
// would name another directory or file than the one given, so the value is
// split literally at its last separator instead.
void SplitUserPath(const Text& path, Text& directory, Text& file) {
  directory = PathPart(path);
  file = FilePart(path);
  Text body = path;
  if (!body.empty() && body.front() == u'"') {
    body.erase(0, 1);
    if (!body.empty() && body.back() == u'"') body.pop_back();
  }
  if (directory + file == body) return;
  size_t cut = body.find_last_of(u"\\/");
  cut = cut == Text::npos ? 0 : cut + 1;
  directory = body.substr(0, cut);
  file = body.substr(cut);
}
