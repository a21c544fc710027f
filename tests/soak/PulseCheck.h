// Checks pulses the window started against the agent's register trace: each one
// must show its start edge and then its end edge on the port's data register.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace soak {

struct DataWrite {
    long long ns;  // monotonic clock, as the agent writes it
    std::uint8_t value;
};

// The writes to one register in a trace (`<ns> <r|w> 0x<addr> 0x<value> <pid>`).
std::vector<DataWrite> ReadDataWrites(const std::string& tracePath, std::uint16_t address);

// A pulse as the window ran it: seen running at startNs, seen finished at endNs;
// at idleNs, the poll before, it was not running yet.
struct SeenPulse {
    int bit;  // 0 … 7
    bool up;  // 0 → 1 → 0
    long long startNs, endNs;
    long long idleNs = 0;
};

enum class PulseVerdict { Complete, NoStartEdge, NoEndEdge };

// Complete when, before the pulse was seen running (within the slack), a write set
// the bit to its pulse level and a later write, no later than the pulse was seen
// finished, set it back.
PulseVerdict CheckPulse(const std::vector<DataWrite>& writes, const SeenPulse& pulse,
                        long long slackNs);

}  // namespace soak
