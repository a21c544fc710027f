// `lptwdmio record`: samples one port through the running agent and writes what
// its lines did to a VCD file (or standard output) until the time is up or the
// user interrupts it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace agent {

struct RecordOptions {
    bool help = false;
    std::uint16_t base = 0x378;
    std::uint32_t rate = 1000;
    double seconds = 0;  // 0: until interrupted
    std::string out;     // "-": standard output
    std::string socketPath;
};

extern const char* const RecordUsageText;

std::optional<RecordOptions> ParseRecordOptions(const std::vector<std::string>& args,
                                                std::string& error);

// The whole command; its exit code: 0 done, 1 usage, 2 the agent could not be
// reached or the recording broke off (the file then holds what was recorded).
int RunRecord(const std::vector<std::string>& args);

}  // namespace agent
