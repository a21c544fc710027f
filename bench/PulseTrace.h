// Reads the agent's register trace and finds the pulses on the data pins: each
// rise of a bit followed by its fall is one pulse, its width the time between.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One pulse on a data pin: the agent's times of its rising and falling write.
struct TracedPulse {
    int bit = 0;
    long long riseNs = 0, fallNs = 0;
    double WidthMs() const { return double(fallNs - riseNs) / 1e6; }
};

class PulseTrace {
public:
    // Only writes of this client to this data register count.
    PulseTrace(std::string path, pid_t writer, std::uint16_t dataAddress);

    // Reads what the agent appended since the last call; returns the widths, in
    // milliseconds, of the pulses that ended in it, per bit.
    std::array<std::vector<double>, 8> ReadNewPulses();
    // The same pulses with their times, in the order they ended.
    std::vector<TracedPulse> ReadNewEdges();

private:
    void Line(const char* text, std::vector<TracedPulse>& pulses);

    std::string path_;
    pid_t writer_;
    std::uint16_t address_;
    long long offset_ = 0;
    std::string partial_;               // a line the agent had not finished writing
    int value_ = -1;                    // the register's last known value
    std::array<long long, 8> risen_{};  // ns of a rise not yet matched; 0 = none
};

// Order statistics of a sample, in the sample's unit.
struct Summary {
    std::size_t count = 0;
    double median = 0, p99 = 0, max = 0, min = 0;
};
Summary Summarise(std::vector<double> values);
