// The name expression of option -r, compiled and matched with PCRE in UTF-8
// mode. A pattern that failed to compile matches nothing.
#pragma once

#include <cstdint>

#include "runtime/text.h"

// Compiles the expression under `number`, replacing what was there; nonzero
// when it compiled.
int CompilePattern(int number, const Text& expression);

// 1 when the subject holds a match of pattern `number`, 0 otherwise. A
// match that runs into the step or nesting limit counts as none.
int MatchPattern(int number, const Text& subject);

// Subjects of pattern `number` whose match ran into a limit since it was
// compiled; 0 for a number without a pattern.
int64_t PatternLimitHits(int number);

// PCRE's message for the last expression that failed to compile on this
// thread; empty after a successful compile.
Text PatternError();

// Releases every compiled pattern.
void ReleaseAllPatterns();
