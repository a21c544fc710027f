#include "agent/recording/VcdWriter.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace agent {

const ConnectorLine ConnectorLines[17] = {
    {1, 2, 0x01, true, "STROBE"},    {2, 0, 0x01, false, "D0"},
    {3, 0, 0x02, false, "D1"},       {4, 0, 0x04, false, "D2"},
    {5, 0, 0x08, false, "D3"},       {6, 0, 0x10, false, "D4"},
    {7, 0, 0x20, false, "D5"},       {8, 0, 0x40, false, "D6"},
    {9, 0, 0x80, false, "D7"},       {10, 1, 0x40, false, "ACKNLG"},
    {11, 1, 0x80, true, "BUSY"},     {12, 1, 0x20, false, "PAPEREND"},
    {13, 1, 0x10, false, "SELECT"},  {14, 2, 0x02, true, "AUTOFEED"},
    {15, 1, 0x08, false, "ERROR"},   {16, 2, 0x04, false, "INIT"},
    {17, 2, 0x08, true, "SELECTIN"},
};

namespace {

constexpr int LineCount = 17;
constexpr std::uint32_t GapBit = 1u << LineCount;

char IdOf(int signal) {
    return static_cast<char>('!' + signal);
}

std::uint32_t Levels(const Sample& s) {
    std::uint32_t levels = 0;
    for (int i = 0; i < LineCount; ++i) {
        if (LineLevel(ConnectorLines[i], s)) {
            levels |= 1u << i;
        }
    }
    return levels;
}

std::string Padded(std::string text, std::size_t width) {
    text.resize(width, ' ');
    return text;
}

// Outside text inside a $comment: no keyword, and each of its lines indented by
// `indent` after the first.
std::string CommentSafe(std::string text, const std::string& indent = "") {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    std::string safe;
    for (char c : text) {
        if (c == '\n') {
            safe += "\n" + indent;
        } else {
            safe += c == '$' || c == '\r' ? ' ' : c;
        }
    }
    return safe;
}

}  // namespace

bool LineLevel(const ConnectorLine& line, const Sample& sample) {
    const std::uint8_t reg = line.reg == 0   ? sample.data
                             : line.reg == 1 ? sample.status
                                             : sample.control;
    return ((reg & line.mask) != 0) != line.inverted;
}

double RecordStats::AchievedHz() const {
    return samples > 1 && lastNs > firstNs ? double(samples - 1) / Seconds() : 0.0;
}

VcdWriter::VcdWriter(std::uint16_t base, std::uint32_t rate, std::string backend, std::string date)
    : base_(base),
      rate_(rate),
      periodNs_(1000000000ULL / rate),
      backend_(CommentSafe(std::move(backend), "    ")),
      date_(CommentSafe(std::move(date))) {}

std::uint64_t VcdWriter::Micros(std::uint64_t ns) const {
    return (ns - stats_.firstNs + 500) / 1000;
}

void VcdWriter::Begin(const Sample& first, std::string& out) {
    stats_.samples = 1;
    stats_.firstNs = stats_.lastNs = first.ns;
    char line[256];
    out += "$date\n  " + date_ + "\n$end\n$version\n  lptwdmio record\n$end\n$comment\n";
    std::snprintf(line, sizeof line, "  Port 0x%X, sampled by the agent serving\n    ", base_);
    out += line + backend_ + "\n";
    std::snprintf(
        line, sizeof line,
        "  Asked rate %" PRIu32 " Hz. Time 0 is CLOCK_MONOTONIC %" PRIu64 ".%09" PRIu64 " s.\n",
        rate_, first.ns / std::uint64_t(1000000000), first.ns % std::uint64_t(1000000000));
    out += line;
    out +=
        "  Levels as the lamps show them: pins 1, 11, 14 and 17 are their register bits "
        "inverted.\n";
    out += "  ";
    summaryOffset_ = out.size();
    out +=
        Padded("Figures missing: the recording ended before they could be written.", SummaryWidth);
    out += "\n$end\n$timescale 1 us $end\n";
    std::snprintf(line, sizeof line, "$scope module lpt_0x%X $end\n", base_);
    out += line;
    for (int i = 0; i < LineCount; ++i) {
        std::snprintf(line, sizeof line, "$var wire 1 %c pin%02d_%s $end\n", IdOf(i),
                      ConnectorLines[i].pin, ConnectorLines[i].name);
        out += line;
    }
    out += "$upscope $end\n$scope module recording $end\n";
    out += std::string("$var wire 1 ") + IdOf(LineCount) + " sampling_gap $end\n";
    out += "$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n";
    current_ = emitted_ = Levels(first);
    for (int i = 0; i <= LineCount; ++i) {
        out += (current_ >> i & 1) ? '1' : '0';
        out += IdOf(i);
        out += '\n';
    }
    out += "$end\n";
    pendingTime_ = stampedTime_ = 0;
}

void VcdWriter::Stamp(std::uint64_t micros, std::string& out) {
    if (micros == stampedTime_) {
        return;
    }
    out += '#' + std::to_string(micros) + '\n';
    stampedTime_ = micros;
}

void VcdWriter::EmitPending(std::string& out) {
    const std::uint32_t changed = current_ ^ emitted_;
    if (changed == 0) {
        return;
    }
    Stamp(pendingTime_, out);
    for (int i = 0; i <= LineCount; ++i) {
        if (changed >> i & 1) {
            out += (current_ >> i & 1) ? '1' : '0';
            out += IdOf(i);
            out += '\n';
        }
    }
    emitted_ = current_;
}

// Samples within one µs fold into one step; the last of them stands.
void VcdWriter::SetAt(std::uint64_t micros, std::uint32_t levels, std::string& out) {
    if (micros != pendingTime_) {
        EmitPending(out);
        pendingTime_ = micros;
    }
    current_ = levels;
}

void VcdWriter::Add(const Sample& sample, std::string& out) {
    if (sample.ns <= stats_.lastNs) {
        return;  // the agent's clock never goes back; a stream that does is not believed
    }
    const std::uint64_t interval = sample.ns - stats_.lastNs;
    if (interval > stats_.longestIntervalNs) {
        stats_.longestIntervalNs = interval;
        stats_.longestIntervalAtNs = stats_.lastNs - stats_.firstNs;
    }
    std::uint32_t levels = Levels(sample);
    if (sample.missed > 0) {
        // 255 stands for that many or more: the times then tell.
        const std::uint64_t byTime = interval / periodNs_ > 0 ? interval / periodNs_ - 1 : 0;
        stats_.missed += sample.missed < 255 ? sample.missed : std::max<std::uint64_t>(255, byTime);
        ++stats_.gaps;
        // From when the first missing sample was due until the next one came. The agent
        // can be held up between its timer and its clock, so a sample that reports a
        // gap may come sooner than one period after the last: the mark then goes
        // between the two, or rides on this sample when both share one µs.
        const std::uint64_t previous = Micros(stats_.lastNs), now = Micros(sample.ns);
        if (now > previous) {
            SetAt(std::clamp(Micros(stats_.lastNs + periodNs_), previous, now - 1),
                  current_ | GapBit, out);
        } else {
            levels |= GapBit;
        }
    }
    SetAt(Micros(sample.ns), levels, out);
    stats_.lastNs = sample.ns;
    ++stats_.samples;
}

void VcdWriter::Finish(std::string& out) {
    EmitPending(out);
    Stamp(Micros(stats_.lastNs), out);
}

std::string VcdWriter::SummaryLine() const {
    char text[SummaryWidth + 64];
    if (stats_.samples < 2) {
        std::snprintf(text, sizeof text, "Asked %" PRIu32 " Hz: a single sample.", rate_);
    } else {
        std::snprintf(text, sizeof text,
                      "Achieved %.1f Hz (asked %" PRIu32 " Hz): %" PRIu64
                      " samples over %.6f s; %" PRIu64 " missed in %" PRIu64
                      " gap%s, marked by sampling_gap; longest time between samples "
                      "%.1f us at %.6f s.",
                      stats_.AchievedHz(), rate_, stats_.samples, stats_.Seconds(), stats_.missed,
                      stats_.gaps, stats_.gaps == 1 ? "" : "s",
                      double(stats_.longestIntervalNs) / 1e3,
                      double(stats_.longestIntervalAtNs) / 1e9);
    }
    return Padded(text, SummaryWidth);
}

}  // namespace agent
