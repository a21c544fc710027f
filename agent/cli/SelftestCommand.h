// `lptwdmio selftest`: checks one port's lines through a loopback plug, by way
// of the running agent like every other client (starting one the way the
// program does when none runs), and prints a table of every line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace agent {

struct SelftestOptions {
    bool help = false;
    bool listPlugs = false;
    std::uint16_t base = 0x378;
    std::string plug;  // empty: find it
    std::string socketPath;
};

extern const char* const SelftestUsageText;

std::optional<SelftestOptions> ParseSelftestOptions(const std::vector<std::string>& args,
                                                    std::string& error);

// The known wirings, each drawn as its pins.
std::string PlugWiringTable();

// The whole command; its exit code: 0 every line tested passes, 1 a line
// failed, 2 nothing could be tested (no agent or port, port held, no plug,
// usage).
int RunSelftest(const std::vector<std::string>& args);

}  // namespace agent
