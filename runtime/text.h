// Text type and the text operations the tool builds its messages and
// decisions from. Texts are UTF-16 code units; lengths and positions count
// code units. An empty text stands for "not given" everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

using Text = std::u16string;

// Number of code units.
int64_t TextLength(const Text& text);

// The first k code units, k = count clamped to [0, length].
Text LeftPart(const Text& text, int32_t count);

// The last k code units, k = count clamped to [0, length].
Text RightPart(const Text& text, int32_t count);

// Leading part up to and including the last "\" or "/" (stops at "|").
Text PathPart(const Text& path);

// Part after the last "\" or "/", up to a closing double quote.
Text FilePart(const Text& path);

// Whether a scan pattern without "*" or "?" names one file exactly, letter
// case included, as Linux names are (text_posix); on Windows it matches as
// the system's case-insensitive search does (text_win32).
extern const bool kExactNamesKeepCase;

// Case copies, one code unit for one, independent of the user's locale.
Text ToLower(const Text& text);
Text ToUpper(const Text& text);

// Platform case mapping in place, one unit for one (text_posix / text_win32).
void MapToUpper(char16_t* units, size_t count);
void MapToLower(char16_t* units, size_t count);

// Leading blanks, one sign, "$" hex or "%" binary, digits; 0 when no number
// is there. Decimal numbers saturate at the 64-bit limits; "$" and "%"
// numbers wrap modulo 2^64.
int64_t ParseInteger(const Text& text);

// True when the whole text is one number as ParseInteger reads it: leading
// blanks, one sign, "$" or "%", at least one digit of that base, trailing
// blanks, nothing else; a "$" or "%" number must fit into 64 bits.
bool IsWholeNumber(const Text& text);

// Plain decimal, "-" for negatives, no separators.
Text FormatInteger(int64_t value);

// Exact, unit-by-unit equality.
bool TextEquals(const Text& a, const Text& b);
