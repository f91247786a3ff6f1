// Windows-style wildcard matching: "*" any run, "?" one unit, "*.*" every
// name, case-insensitive through the tool's own case mapping.
#pragma once

#include "runtime/text.h"

// True when the name matches the pattern. An empty pattern counts as "*.*".
bool WildcardMatch(const Text& pattern, const Text& name);

// The same test on texts already mapped with ToUpper.
bool WildcardMatchUpper(const Text& upperPattern, const Text& upperName);

// True when the text holds "*" or "?".
bool HasWildcard(const Text& text);
