// The licence notices shown by option -l.
#pragma once

#include "driver/run_settings.h"

// Writes the licence lines.
void WriteLicence(const RunSettings& settings);
