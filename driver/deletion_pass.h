// The per-file loop (simulate, confirm, delete) and the closing summary.
#pragma once

#include "driver/candidates.h"
#include "driver/run_settings.h"

// Walks the candidates newest first and prints one line per file; stops
// deleting once a line could not be written.
void DeletionPass(RunSettings& settings, CandidateList& list);

// Prints the closing lines: nothing found, or count and freed size.
void PrintSummary(const RunSettings& settings, const CandidateList& list);

// The freed size in the largest unit it reaches, e.g. "3 KiB"; the sum is
// an unsigned count modulo 2^64.
Text FormatFreedSize(int64_t bytesFreed);
