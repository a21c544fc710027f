// `lptwdmio pulses`: the pulse report of a recording, for a lab that checks its
// triggers: every pulse with its start and width, then per line and value the
// count, the widths and the intervals between starts.
#pragma once

#include <string>
#include <vector>

#include "agent/recording/PulseReport.h"

namespace agent {

extern const char* const PulsesUsageText;

// The report as text, or as CSV (one row per pulse).
std::string FormatPulseReport(const PulseReport& report, const std::string& fileName);
std::string FormatPulseCsv(const PulseReport& report);

// The whole command; 0 reported, 1 usage, 2 a file that can't be read or is no
// recording of a port's lines.
int RunPulses(const std::vector<std::string>& args);

}  // namespace agent
