#include "agent/recording/PulseReport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "agent/recording/VcdReader.h"
#include "agent/recording/VcdWriter.h"

namespace agent {
namespace {

constexpr int MaxPin = 17;
constexpr unsigned Unknown = 0xFFFF;  // a line with a pin at x or z

// pin02_D0 -> 2; 0 for any other name.
int PinOfWire(const std::string& name) {
    if (name.size() < 6 || name.compare(0, 3, "pin") != 0 || name[5] != '_' || name[3] < '0' ||
        name[3] > '9' || name[4] < '0' || name[4] > '9') {
        return 0;
    }
    const int pin = (name[3] - '0') * 10 + (name[4] - '0');
    return pin >= 1 && pin <= MaxPin ? pin : 0;
}

double Median(const std::vector<double>& sorted) {
    const std::size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

// The nearest-rank percentile.
double Percentile(const std::vector<double>& sorted, double p) {
    const std::size_t rank = static_cast<std::size_t>(std::ceil(p * double(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

// A number that follows a label in our header's comment, or 0.
double NumberAfter(const std::string& comments, const std::string& label) {
    const std::size_t at = comments.find(label);
    const double v =
        at == std::string::npos ? 0 : std::strtod(comments.c_str() + at + label.size(), nullptr);
    return v > 0 ? v : 0;
}

struct LineHistory {
    std::vector<std::pair<std::uint64_t, unsigned>> changes;  // (time, value), values differ
};

void FindIn(const LineHistory& h, std::size_t line, std::uint64_t end, double tick,
            const std::vector<std::pair<std::uint64_t, std::uint64_t>>& gaps,
            std::vector<FoundPulse>& out) {
    if (h.changes.empty()) {
        return;
    }
    // The rest value: held longest over the whole recording.
    std::map<unsigned, std::uint64_t> held;
    for (std::size_t i = 0; i < h.changes.size(); ++i) {
        const std::uint64_t until = i + 1 < h.changes.size() ? h.changes[i + 1].first : end;
        if (h.changes[i].second != Unknown) {
            held[h.changes[i].second] += until - h.changes[i].first;
        }
    }
    unsigned rest = Unknown;
    std::uint64_t longest = 0;
    for (const auto& [value, time] : held) {
        if (rest == Unknown || time > longest) {
            rest = value;
            longest = time;
        }
    }
    auto inGap = [&](std::uint64_t t) {
        for (const auto& [from, to] : gaps) {
            if (t >= from && t <= to) {
                return true;
            }
        }
        return false;
    };
    for (std::size_t i = 0; i < h.changes.size(); ++i) {
        const auto [start, value] = h.changes[i];
        if (value == rest || value == Unknown) {
            continue;
        }
        const bool last = i + 1 == h.changes.size();
        const std::uint64_t stop = last ? end : h.changes[i + 1].first;
        FoundPulse p;
        p.line = line;
        p.value = value;
        p.start = double(start) * tick;
        p.width = double(stop - start) * tick;
        p.began = i == 0;
        p.unfinished = last;
        p.inGap = inGap(start) || (!last && inGap(stop));
        out.push_back(p);
    }
}

void Summarise(PulseReport& report) {
    std::map<std::pair<std::size_t, unsigned>, std::vector<const FoundPulse*>> kinds;
    for (const FoundPulse& p : report.pulses) {
        kinds[{p.line, p.value}].push_back(&p);
    }
    for (const auto& [kind, pulses] : kinds) {
        PulseStats s;
        s.line = kind.first;
        s.value = kind.second;
        std::vector<double> widths, intervals;
        const FoundPulse* previous = nullptr;
        for (const FoundPulse* p : pulses) {
            if (!p->began && !p->unfinished) {
                widths.push_back(p->width);
                s.inGap += p->inGap ? 1 : 0;
            }
            if (!p->began) {
                if (previous != nullptr) {
                    intervals.push_back(p->start - previous->start);
                }
                previous = p;
            }
        }
        s.count = widths.size();
        if (!widths.empty()) {
            std::sort(widths.begin(), widths.end());
            s.minWidth = widths.front();
            s.medianWidth = Median(widths);
            s.p99Width = Percentile(widths, 0.99);
            s.maxWidth = widths.back();
        }
        s.intervals = intervals.size();
        if (!intervals.empty()) {
            std::sort(intervals.begin(), intervals.end());
            s.minInterval = intervals.front();
            s.medianInterval = Median(intervals);
            s.maxInterval = intervals.back();
        }
        report.stats.push_back(s);
    }
}

}  // namespace

std::string ReportLine::Label() const {
    if (!code) {
        return "pin " + std::to_string(pins[0]) + " " + ConnectorLines[pins[0] - 1].name;
    }
    return "pins " + std::to_string(pins.front()) + "-" + std::to_string(pins.back());
}

std::optional<std::vector<ReportLine>> ParsePinList(const std::string& text, std::string& error) {
    std::vector<ReportLine> lines;
    std::vector<bool> taken(MaxPin + 1, false);
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = text.find(',', at);
        const std::string item = text.substr(at, comma - at);
        const std::size_t dash = item.find('-');
        auto pin = [&](const std::string& t) {
            if (t.empty() || t.size() > 2 ||
                t.find_first_not_of("0123456789") != std::string::npos) {
                return 0;
            }
            const int p = std::atoi(t.c_str());
            return p >= 1 && p <= MaxPin ? p : 0;
        };
        const int first = pin(item.substr(0, dash));
        const int last = dash == std::string::npos ? first : pin(item.substr(dash + 1));
        if (first == 0 || last < first) {
            error = "--pins takes pins 1 to 17 and ranges of them, e.g. 2-9 or 2,3,11: " + item;
            return std::nullopt;
        }
        ReportLine line;
        line.code = dash != std::string::npos;
        for (int p = first; p <= last; ++p) {
            if (taken[p]) {
                error = "pin " + std::to_string(p) + " is named twice in --pins";
                return std::nullopt;
            }
            taken[p] = true;
            line.pins.push_back(p);
        }
        lines.push_back(line);
        if (comma == std::string::npos) {
            return lines;
        }
        at = comma + 1;
    }
}

bool FindPulses(std::istream& in, const std::vector<ReportLine>& wanted, PulseReport& report,
                std::string& error) {
    VcdReader reader(in);
    if (!reader.ReadHeader(error)) {
        return false;
    }
    report.tick = reader.SecondsPerTick();
    const double rate = NumberAfter(reader.Comments(), "Asked rate ");
    report.samplingPeriod = rate > 0 ? 1 / rate : 0;
    report.longestInterval = NumberAfter(reader.Comments(), "longest time between samples ") / 1e6;
    // Which wire carries which pin; the gap marks of our recorder.
    std::vector<std::size_t> wireOf(MaxPin + 1, SIZE_MAX);
    std::size_t gapWire = SIZE_MAX;
    const auto& wires = reader.Wires();
    for (std::size_t i = 0; i < wires.size(); ++i) {
        if (wires[i].name == "sampling_gap") {
            gapWire = i;
        }
        const int pin = PinOfWire(wires[i].name);
        if (pin == 0 || wires[i].width != 1) {
            continue;
        }
        if (wireOf[pin] != SIZE_MAX) {
            error = "two wires stand for pin " + std::to_string(pin) + " (in scopes " +
                    wires[wireOf[pin]].scope + " and " + wires[i].scope + ")";
            return false;
        }
        wireOf[pin] = i;
        if (wires[i].scope.rfind("lpt_", 0) == 0) {
            report.port = wires[i].scope.substr(4);
        }
    }
    if (std::count(wireOf.begin(), wireOf.end(), SIZE_MAX) == MaxPin + 1) {
        error =
            "no wire is named like a connector pin (pin02_D0 ... pin17_SELECTIN): not a "
            "recording of a port's lines";
        return false;
    }
    report.lines = wanted;
    if (wanted.empty()) {
        ReportLine data{{}, true};
        for (int pin = 2; pin <= 9; ++pin) {
            if (wireOf[pin] != SIZE_MAX) {
                data.pins.push_back(pin);
            }
        }
        data.code = data.pins.size() > 1;
        if (!data.pins.empty()) {
            report.lines.push_back(data);
        }
        for (int pin : {1, 10, 11, 12, 13, 14, 15, 16, 17}) {
            if (wireOf[pin] != SIZE_MAX) {
                report.lines.push_back({{pin}, false});
            }
        }
    }
    for (const ReportLine& line : report.lines) {
        for (int pin : line.pins) {
            if (wireOf[pin] == SIZE_MAX) {
                error = "the file has no wire for pin " + std::to_string(pin);
                return false;
            }
        }
    }

    // The levels of every wire as the changes come; a line's value is taken once all
    // the changes of one time stamp are in, so a code never shows half changed.
    std::vector<char> level(wires.size(), 'x');
    std::vector<LineHistory> history(report.lines.size());
    std::vector<std::pair<std::uint64_t, std::uint64_t>> gaps;
    std::uint64_t gapFrom = 0;
    bool inGap = false, any = false;
    auto commit = [&](std::uint64_t time) {
        for (std::size_t l = 0; l < report.lines.size(); ++l) {
            unsigned value = 0;
            const auto& pins = report.lines[l].pins;
            for (std::size_t bit = 0; bit < pins.size(); ++bit) {
                const char c = level[wireOf[pins[bit]]];
                if (c != '0' && c != '1') {
                    value = Unknown;
                    break;
                }
                value |= (c == '1' ? 1u : 0u) << bit;
            }
            auto& changes = history[l].changes;
            if (changes.empty() || changes.back().second != value) {
                changes.emplace_back(time, value);
            }
        }
        if (gapWire != SIZE_MAX) {
            const bool gap = level[gapWire] == '1';
            if (gap && !inGap) {
                gapFrom = time;
            } else if (!gap && inGap) {
                gaps.emplace_back(gapFrom, time);
            }
            inGap = gap;
        }
    };
    VcdChange change;
    std::uint64_t pending = 0;
    while (reader.Next(change, error)) {
        if (!any) {
            pending = change.time;
            any = true;
        }
        if (change.time != pending) {
            commit(pending);
            pending = change.time;
        }
        level[change.wire] = change.value;
    }
    if (!error.empty()) {
        return false;
    }
    if (!any) {
        error = "the file holds no values";
        return false;
    }
    commit(pending);
    const std::uint64_t end = std::max(reader.Time(), pending);
    if (inGap) {
        gaps.emplace_back(gapFrom, end);
    }
    report.end = double(end) * report.tick;
    for (std::size_t l = 0; l < history.size(); ++l) {
        FindIn(history[l], l, end, report.tick, gaps, report.pulses);
    }
    std::stable_sort(report.pulses.begin(), report.pulses.end(),
                     [](const FoundPulse& a, const FoundPulse& b) { return a.start < b.start; });
    Summarise(report);
    return true;
}

}  // namespace agent
