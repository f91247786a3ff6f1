// Console: every line the tool shows and the one thing it reads, the answer
// to a confirmation. Nothing is ever written to standard error.
#pragma once

#include <cstddef>

#include "runtime/text.h"

// The text ReadLine gives when input has ended.
inline constexpr char16_t kEndOfInput = 0x0004;

// Prepares output and input handling; returns 1 in every case.
int InitConsole();

// The one place that writes to standard output.
void WriteText(const char16_t* units, size_t count);

// Writes the text and CR LF in one write.
void WriteLine(const Text& text);

// Writes the text without a line end.
void Write(const Text& text);

// One line of input without its line end, or the end-of-input marker.
Text ReadLine();
