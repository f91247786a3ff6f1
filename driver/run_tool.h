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

// Releases what the run holds and ends the process with settings.exitCode,
// 1 instead of 0 when the output could not be written.
[[noreturn]] void EndRun(const RunSettings& settings);

// Prints the error block and usage text and sets exitCode to 99 (no exit).
void WriteUsage(RunSettings& settings, const Text& message);

// Prints the usage text from its "Usage:" line on and sets exitCode to 99.
void WriteUsageText(RunSettings& settings);

// What the option pass could not read whole, one "Fehler: ..." line each, in
// the order of the command line.
struct OptionFaults {
  // Every fault: each refuses a delete run.
  std::vector<Text> lines;
  // The faults that refuse a simulation too: a number option whose value is
  // an option word (`-a -D` with the count left out), so the command line is
  // not what was meant, whatever the mode.
  std::vector<Text> inEveryMode;
};

// Reads every option into the settings; stops at -l. Each word the pass
// could not read whole, and each value that would turn a filter around in a
// delete run (a negative count, a minimum age below zero), adds its line.
OptionPassEnd ReadOptions(RunSettings& settings, OptionFaults& faults);

// A command line not read whole (`faults`, or a name expression that does not
// compile) refuses a delete run; a simulation is refused only for the faults
// in `inEveryMode`. A refused run prints its fault lines and the usage text,
// and exitCode becomes 99: the result is true. Otherwise a simulation goes on
// with what the pass could read.
bool RefuseRun(RunSettings& settings, OptionFaults& faults);

// The banner line: program name, " Version ", version.
Text BannerLine(const RunSettings& settings);
