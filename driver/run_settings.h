// The settings of one run, filled by the option pass and read by every later
// stage, and the counters of the deletion pass.
#pragma once

#include <cstdint>

#include "cleanup_version.h"
#include "runtime/file_system/file_system.h"
#include "runtime/text.h"

struct RunSettings {
  Text programName;
  Text version = kCleanupVersion;
  Text inputSpec;
  Text directory;
  Text pattern;
  // The directory the scan reads, resolved with the input (ResolveInput).
  ScanDirectory scanDirectory;
  Text nameExpression;
  int64_t minDays = 0;
  int64_t minHours = 0;
  int64_t minMinutes = 0;
  int64_t spareCount = 0;
  int64_t batchMode = 0;
  int64_t deleteMode = 0;
  int64_t exitCode = 0;
  // Run counters of the deletion pass.
  int64_t deletedCount = 0;
  int64_t bytesFreed = 0;
};
