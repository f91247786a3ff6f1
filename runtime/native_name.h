// A file name in the platform's own form, as the system spelled it: bytes on
// POSIX, UTF-16 units on Windows. A scan stores each name once in this form;
// it becomes a Text only where it is used as text (the name expression, an
// output line).
#pragma once

#include <string>
#include <string_view>

#include "runtime/text.h"

#ifdef _WIN32
using NameUnit = char16_t;
#else
using NameUnit = char;
#endif
using NativeName = std::basic_string_view<NameUnit>;

// Appends the name as text to `text` (on POSIX decoded losslessly: an
// undecodable byte becomes its escape unit).
void AppendNameText(NativeName name, Text& text);

// The name as text.
Text NameText(NativeName name);

// The platform's form of a text, which NameText turns back into the text.
std::basic_string<NameUnit> NativeNameOf(const Text& text);
