// The licence notices shown by option -l.
#pragma once

#include "driver/run_settings.h"

// Writes the licence lines.
void WriteLicence(const RunSettings& settings);

// Writes the licence lines and ends the run with exit code 0.
[[noreturn]] void ShowLicence(const RunSettings& settings);
