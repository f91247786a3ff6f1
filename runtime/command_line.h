// Splitting of one command-line text into tokens: only U+0020 separates, a
// double quote anywhere in a token groups up to the next one (text on either
// side continues the same token), a backslash is an ordinary character. Token
// 0 is the program's own name.
#pragma once

#include <cstdint>

#include "runtime/text.h"

// Number of tokens in the text.
int64_t CountTokens(const Text& commandLine);

// Token number `index`; false when the text has fewer tokens.
bool TokenAt(const Text& commandLine, int64_t index, Text* token);
