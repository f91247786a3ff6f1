// Start-up, the option pass, the usage text and the end of the run.
#pragma once

#include <vector>

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

// Prints the usage text from its "Usage:" line on and sets exitCode to 99.
void WriteUsageText(RunSettings& settings);

// Reads every option into the settings; stops at -l. Each word the pass
// could not read whole adds its "Fehler: ..." line to `faults`.
OptionPassEnd ReadOptions(RunSettings& settings, std::vector<Text>& faults);

// In delete mode, a command line not read whole (`faults`, or a name
// expression that does not compile) refuses the run: the fault lines and the
// usage text are printed, exitCode is 99 and the result true. A simulation
// goes on with what the pass could read.
bool RefuseDeletion(RunSettings& settings, std::vector<Text>& faults);

// The banner line: program name, " Version ", version.
Text BannerLine(const RunSettings& settings);
