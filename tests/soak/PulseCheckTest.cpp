#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "PulseCheck.h"

using soak::CheckPulse;
using soak::DataWrite;
using soak::PulseVerdict;
using soak::SeenPulse;

namespace {
constexpr long long Ms = 1000000;
constexpr long long Slack = 100 * Ms;
}  // namespace

TEST(SoakPulseCheck, ReadsOnlyTheWritesOfTheRegister) {
    const auto path = std::filesystem::temp_directory_path() / "soak-pulse-check.trace";
    std::ofstream(path) << "100 r 0x378 0x00 7\n"
                           "200 w 0x378 0x05 7\n"
                           "250 w 0x37a 0x0c 7\n"
                           "garbage line\n"
                           "300 w 0x378 0xff 8\n"
                           "400 w 0x3";  // cut by a killed agent
    const auto writes = soak::ReadDataWrites(path.string(), 0x378);
    std::filesystem::remove(path);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].ns, 200);
    EXPECT_EQ(writes[0].value, 0x05);
    EXPECT_EQ(writes[1].value, 0xff);
}

TEST(SoakPulseCheck, UpAndDownPulsesWithOtherBitsMoving) {
    // Pin of bit 2 pulses up (clear, set, … clear) while bit 0 toggles between.
    const std::vector<DataWrite> writes = {{10 * Ms, 0x04}, {20 * Ms, 0x00}, {20 * Ms + 50, 0x04},
                                           {40 * Ms, 0x05}, {60 * Ms, 0x01}, {90 * Ms, 0x00}};
    EXPECT_EQ(CheckPulse(writes, {2, true, 21 * Ms, 61 * Ms}, Slack), PulseVerdict::Complete);
    // Seen finished before its end write reached the port: the end is missing.
    EXPECT_EQ(CheckPulse(writes, {2, true, 21 * Ms, 59 * Ms}, Slack), PulseVerdict::NoEndEdge);
    // A down pulse on bit 0: set, clear, … set.
    const std::vector<DataWrite> down = {{10 * Ms, 0x01}, {10 * Ms + 40, 0x00}, {30 * Ms, 0x01}};
    EXPECT_EQ(CheckPulse(down, {0, false, 11 * Ms, 31 * Ms}, Slack), PulseVerdict::Complete);
}

TEST(SoakPulseCheck, MissingEdgesAreTold) {
    const std::vector<DataWrite> stuck = {{10 * Ms, 0x00}, {10 * Ms + 40, 0x80}, {70 * Ms, 0x81}};
    EXPECT_EQ(CheckPulse(stuck, {7, true, 11 * Ms, 80 * Ms}, Slack), PulseVerdict::NoEndEdge);
    // No write at the pulse level near the time the pulse was seen running.
    EXPECT_EQ(CheckPulse(stuck, {3, true, 11 * Ms, 80 * Ms}, Slack), PulseVerdict::NoStartEdge);
    EXPECT_EQ(CheckPulse(stuck, {7, true, 500 * Ms, 600 * Ms}, Slack), PulseVerdict::NoStartEdge);
    EXPECT_EQ(CheckPulse({}, {0, true, 1, 2}, Slack), PulseVerdict::NoStartEdge);
}
