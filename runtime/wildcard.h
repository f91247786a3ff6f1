// Windows-style wildcard matching: "*" any run, "?" one unit, "*.*" every
// name, case-insensitive through the tool's own case mapping.
#pragma once

#include "runtime/text.h"

// The form in which the matcher compares texts: the ToUpper copy, except
// that a non-ASCII unit whose upper case is ASCII (ı, ſ) stays as it is, so
// no non-ASCII letter ever matches an ASCII one.
Text WildcardKey(const Text& text);

// The same from a text and its ToUpper copy, without mapping again.
Text WildcardKey(const Text& text, const Text& upper);

// The same into `key`, reusing its storage.
void WildcardKeyInto(const Text& text, const Text& upper, Text& key);

// True when the name matches the pattern. An empty pattern counts as "*.*".
bool WildcardMatch(const Text& pattern, const Text& name);

// The same test on texts already made into keys with WildcardKey.
bool WildcardMatchKeys(const Text& patternKey, const Text& nameKey);

// True when the text holds "*" or "?".
bool HasWildcard(const Text& text);
