// Turns the -f value into directory and pattern and prints the settings
// block.
#pragma once

#include "driver/run_settings.h"

// Fills directory and pattern from inputSpec.
void ResolveInput(RunSettings& settings);

// Prints the settings block.
void ReportSettings(const RunSettings& settings);
