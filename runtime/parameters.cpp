// Program name rule, shared by both builds.
#include "runtime/parameters.h"

Text ProgramNameFromPath(const Text& executablePath) {
  const Text file = FilePart(executablePath);
  if (!TextEquals(ToLower(RightPart(file, 4)), u".exe")) return file;
  return LeftPart(file, static_cast<int32_t>(TextLength(file) - 4));
}

Text ProgramName() {
  return ProgramNameFromPath(ExecutablePath());
}
