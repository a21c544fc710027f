// Turns a port's samples into a Value Change Dump: one 1-bit wire per connector
// pin at the level the window's lamp shows, only the changes, time in µs from
// the first sample, and a `sampling_gap` wire that is 1 wherever the agent let a
// sampling time go by, so a viewer never shows a held level as if it had been seen.
#pragma once

#include <cstdint>
#include <string>

#include "agent/recording/RecordClient.h"

namespace agent {

struct ConnectorLine {
    int pin;
    std::uint8_t reg;  // 0 data, 1 status, 2 control
    std::uint8_t mask;
    bool inverted;  // the lamp shows the inverse of the register bit
    const char* name;
};

// Pins 1 to 17 in pin order.
extern const ConnectorLine ConnectorLines[17];

bool LineLevel(const ConnectorLine& line, const Sample& sample);

struct RecordStats {
    std::uint64_t samples = 0;
    std::uint64_t firstNs = 0, lastNs = 0;
    std::uint64_t longestIntervalNs = 0;    // the longest time between two samples
    std::uint64_t longestIntervalAtNs = 0;  // where it began, from the first sample
    std::uint64_t missed = 0;               // sampling times that went by without a sample
    std::uint64_t gaps = 0;                 // runs of them
    double AchievedHz() const;
    double Seconds() const { return double(lastNs - firstNs) / 1e9; }
};

class VcdWriter {
public:
    // The width the figures' line keeps in the header, so that it can be written
    // over in place once the recording has ended.
    static constexpr std::size_t SummaryWidth = 200;

    VcdWriter(std::uint16_t base, std::uint32_t rate, std::string backend, std::string date);

    // The header and the first sample's values. SummaryOffset() then tells where
    // in that text the figures' line stands.
    void Begin(const Sample& first, std::string& out);
    // Appends the text of the time steps that are complete.
    void Add(const Sample& sample, std::string& out);
    // The last step and a closing time stamp, so viewers show the whole span.
    void Finish(std::string& out);

    std::size_t SummaryOffset() const { return summaryOffset_; }
    const RecordStats& Stats() const { return stats_; }
    // The figures, one line of exactly SummaryWidth characters.
    std::string SummaryLine() const;
    bool RateHeld() const { return stats_.missed == 0; }

private:
    std::uint64_t Micros(std::uint64_t ns) const;
    void SetAt(std::uint64_t micros, std::uint32_t levels, std::string& out);
    void EmitPending(std::string& out);
    void Stamp(std::uint64_t micros, std::string& out);

    std::uint16_t base_;
    std::uint32_t rate_;
    std::uint64_t periodNs_;
    std::string backend_, date_;
    std::size_t summaryOffset_ = 0;
    RecordStats stats_;
    std::uint64_t pendingTime_ = 0, stampedTime_ = 0;
    std::uint32_t current_ = 0, emitted_ = 0;
};

}  // namespace agent
