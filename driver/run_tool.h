// Start-up, the option pass, the usage text and the end of the run.
#pragma once

#include "driver/run_settings.h"

// What the option pass ran into.
enum class OptionPassEnd { kDone, kLicence };

// The whole run; ends the process through EndRun.
[[noreturn]] void RunTool();

// Releases the compiled name expression and every scan.
void ReleaseRun();

// Releases what the run holds and ends the process with settings.exitCode.
[[noreturn]] void EndRun(const RunSettings& settings);

// Prints the error block and usage text and sets exitCode to 99 (no exit).
void WriteUsage(RunSettings& settings, const Text& message);

// Reads every option into the settings; stops at -l.
OptionPassEnd ReadOptions(RunSettings& settings);

// The banner line: program name, " Version ", version.
Text BannerLine(const RunSettings& settings);
