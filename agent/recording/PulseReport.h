// Finds the pulses in a recording of a port's lines (`lptwdmio pulses`): a pulse
// is a stretch of time in which a line, or a group of data lines read together
// as a code, holds a value other than its rest value, the value it holds for
// the longest time over the whole recording. So a recording that begins in the
// middle of a pulse still gets its rest level right.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace agent {

// One pin, or a range of pins read together as a code (the lowest pin is bit 0).
struct ReportLine {
    std::vector<int> pins;
    bool code = false;
    std::string Label() const;  // "pin 11 BUSY", "pins 2-9"
};

// "2-9", "2,3,11", "2-5,11": a range is one code, a single number one pin (1-17).
std::optional<std::vector<ReportLine>> ParsePinList(const std::string& text, std::string& error);

struct FoundPulse {
    std::size_t line = 0;         // index into PulseReport::lines
    unsigned value = 0;           // the code, or the pin's level during the pulse
    double start = 0, width = 0;  // seconds on the file's time
    bool began = false;           // under way when the recording began: its width is unknown
    bool unfinished = false;      // still under way when it ended
    bool inGap = false;           // an edge fell where the recorder missed samples
};

struct PulseStats {
    std::size_t line = 0;
    unsigned value = 0;
    std::size_t count = 0;  // whole pulses: seen begin and end
    std::size_t inGap = 0;
    double minWidth = 0, medianWidth = 0, p99Width = 0, maxWidth = 0;
    std::size_t intervals = 0;  // between the starts of one pulse and the next of this kind
    double minInterval = 0, medianInterval = 0, maxInterval = 0;
};

struct PulseReport {
    std::string port;            // "0x378" from our scope's name, or empty
    double tick = 0;             // seconds per time unit of the file
    double end = 0;              // the last time stamp, in seconds
    double samplingPeriod = 0;   // from our header's asked rate; 0 when not stated
    double longestInterval = 0;  // between two samples, from our header's figures; or 0
    std::vector<ReportLine> lines;
    std::vector<FoundPulse> pulses;  // in the order they began
    std::vector<PulseStats> stats;   // by line, then value
};

// Reads a recording: ours, or any VCD whose wires are named as ours (pin02_D0 ...).
// `wanted` empty: the data pins as one code and every other pin on its own.
// False with a message when the text is no VCD, names no pin, or lacks a wanted one.
bool FindPulses(std::istream& in, const std::vector<ReportLine>& wanted, PulseReport& report,
                std::string& error);

}  // namespace agent
