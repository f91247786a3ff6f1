// The tool's UTF-16 texts at the Windows wide-character interfaces, where
// wchar_t is one UTF-16 code unit.
#pragma once

#include <cwchar>

#include "runtime/text.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be a UTF-16 code unit");

// The text as the NUL-terminated wide string the Windows calls take.
inline const wchar_t* AsWide(const Text& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// A text from a NUL-terminated wide string.
inline Text FromWide(const wchar_t* units) {
  return Text(reinterpret_cast<const char16_t*>(units), std::wcslen(units));
}

// A text from `count` wide units.
inline Text FromWide(const wchar_t* units, size_t count) {
  return Text(reinterpret_cast<const char16_t*>(units), count);
}
