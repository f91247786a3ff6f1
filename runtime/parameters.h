// How the tool was started: its parameters, one at a time, their number,
// the path of its executable and the program name it presents.
#pragma once

#include <cstdint>

#include "runtime/text.h"

// Hands the process arguments to the service (POSIX build only; the Windows
// build reads its own command line).
void SetArguments(int argc, char** argv);

// Number of parameters after the program's own name; -1 when there is no
// token at all. Counted afresh on every call.
int64_t ParameterCount();

// The parameter at this thread's cursor, then the cursor moves on; the empty
// text past the last parameter (the cursor then stays).
Text NextParameter();

// Full path of the running executable; empty when it can't be had.
Text ExecutablePath();

// File part of the executable's path without a final ".exe" in any case.
Text ProgramName();

// The name rule on its own, for a given executable path.
Text ProgramNameFromPath(const Text& executablePath);
