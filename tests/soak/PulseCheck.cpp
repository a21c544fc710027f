#include "PulseCheck.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace soak {

std::vector<DataWrite> ReadDataWrites(const std::string& tracePath, std::uint16_t address) {
    std::vector<DataWrite> writes;
    std::ifstream in(tracePath);
    std::string line;
    while (std::getline(in, line)) {
        long long ns = 0;
        char kind = 0;
        unsigned a = 0, value = 0;
        if (std::sscanf(line.c_str(), "%lld %c 0x%x 0x%x", &ns, &kind, &a, &value) == 4 &&
            kind == 'w' && a == address) {
            writes.push_back({ns, static_cast<std::uint8_t>(value)});
        }
    }
    return writes;
}

PulseVerdict CheckPulse(const std::vector<DataWrite>& writes, const SeenPulse& pulse,
                        long long slackNs) {
    const auto level = [&](const DataWrite& w) { return ((w.value >> pulse.bit) & 1) != 0; };
    // The start writes come just before the window's handler returns, so the last
    // write at the pulse level before the pulse was seen is its start edge.
    auto start = writes.end();
    for (auto it = writes.begin(); it != writes.end() && it->ns <= pulse.startNs; ++it) {
        if (it->ns >= pulse.startNs - slackNs && level(*it) == pulse.up) {
            start = it;
        }
    }
    if (start == writes.end()) {
        return PulseVerdict::NoStartEdge;
    }
    const auto end = std::find_if(start + 1, writes.end(), [&](const DataWrite& w) {
        return w.ns <= pulse.endNs && level(w) != pulse.up;
    });
    return end != writes.end() ? PulseVerdict::Complete : PulseVerdict::NoEndEdge;
}

}  // namespace soak
