// `lptwdmio pulse`: asks the running agent for a pulse, or a train of them, on a
// port's data lines, timed by the agent itself; returns once the agent has taken it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/pulsing/PulseRequest.h"

namespace agent {

extern const char* const PulseUsageText;

// "5ms", "250us", "0.5s" as whole µs; nullopt for anything else or below 1 µs.
std::optional<std::uint64_t> ParseDurationUs(const std::string& text);

struct PulseOptions {
    bool help = false;
    PulseShape shape;
    std::string socketPath;
};

std::optional<PulseOptions> ParsePulseOptions(const std::vector<std::string>& args,
                                              std::string& error);

// The whole command; 0 taken, 1 usage (also a port the agent does not serve),
// 2 no agent, or the agent refused (too many pulses outstanding).
int RunPulse(const std::vector<std::string>& args);

}  // namespace agent
