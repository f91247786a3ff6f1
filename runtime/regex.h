// The name expression of option -r, compiled and matched with PCRE in UTF-8
// mode. A pattern that failed to compile matches nothing.
#pragma once

#include "runtime/text.h"

// Compiles the expression under `number`, replacing what was there; nonzero
// when it compiled.
int CompilePattern(int number, const Text& expression);

// 1 when the subject holds a match of pattern `number`, 0 otherwise.
int MatchPattern(int number, const Text& subject);

// PCRE's message for the last expression that failed to compile on this
// thread; empty after a successful compile.
Text PatternError();

// Releases every compiled pattern.
void ReleaseAllPatterns();
