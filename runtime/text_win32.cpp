// Text rules of the Windows build: the system's whole-string case mapping
// (CharUpperW/CharLowerW) on a NUL-terminated copy, one unit for one, and
// paths split with PathPart and FilePart.
#include "runtime/text_win32.h"

#include <windows.h>

#include <cstring>
#include <new>

#include "runtime/native_name.h"
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

// "C:*.tmp" names drive C's current directory and the pattern after the
// colon, so the scan and the deletions both look there. A bare "C:" names the
// drive's root, as the check of the input finds it.
static void SplitDrivePrefix(Text& directory, Text& file) {
  if (!directory.empty() || file.size() < 2 || file[1] != u':') return;
  const char16_t letter = file[0];
  if (!((letter >= u'A' && letter <= u'Z') || (letter >= u'a' && letter <= u'z'))) return;
  directory = file.substr(0, 2);
  file.erase(0, 2);
  if (file.empty()) directory += u'\\';
}

// The path and file parts stop at "|" and end at a double quote; when they
// don't add up to the whole value (apart from enclosing quotes), taking them
// would name another directory or file than the one given, so the value is
// split literally at its last separator instead.
const bool kExactNamesKeepCase = false;

void SplitUserPath(const Text& path, Text& directory, Text& file) {
  directory = PathPart(path);
  file = FilePart(path);
  Text body = path;
  if (!body.empty() && body.front() == u'"') {
    body.erase(0, 1);
    if (!body.empty() && body.back() == u'"') body.pop_back();
  }
  // Quotes around nothing (a script's -f"%DIR%" with DIR empty) never name
  // the current directory: the value stands for the name it literally is,
  // which no Windows file can have.
  if (body.empty()) {
    directory.clear();
    file = path;
    return;
  }
  if (directory + file != body) {
    size_t cut = body.find_last_of(u"\\/");
    cut = cut == Text::npos ? 0 : cut + 1;
    directory = body.substr(0, cut);
    file = body.substr(cut);
  }
  SplitDrivePrefix(directory, file);
}

void AppendNameText(NativeName name, Text& text) {
  text += name;
}

Text NameText(NativeName name) {
  return Text(name);
}

std::u16string NativeNameOf(const Text& text) {
  return text;
}
