#include "agent/cli/PulsesCommand.h"

#include "agent/cli/VerbArgs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace agent {

const char* const PulsesUsageText =
    "lptwdmio pulses FILE.vcd [--pins LIST] [--csv]\n"
    "\n"
    "Lists every pulse in a recording made by lptwdmio record (or any VCD whose wires\n"
    "are named like its pins, pin02_D0 ... pin17_SELECTIN): its line, value, start\n"
    "and width; then per line and value the count, the width's min / median / p99 /\n"
    "max and the time between the starts of one pulse and the next. A pulse is where\n"
    "a line holds another value than the one it holds longest over the recording.\n"
    "\n"
    "  --pins LIST   the lines: a range of pins is read as one code (its lowest pin is\n"
    "                bit 0), a single pin on its own: 2-9 (the trigger code on the data\n"
    "                lines), 2,3,11 (three pins), 2-5,15. Default: pins 2-9 as one code\n"
    "                and every other pin on its own.\n"
    "  --csv         one row per pulse: line,value,start_s,width_s,note\n"
    "\n"
    "Each edge shows in the file up to one sampling period after it happened, so a\n"
    "width is exact to within that period; a pulse with an edge where the recorder\n"
    "missed samples is marked. Exit codes: 0 reported, 1 usage, 2 the file can't be\n"
    "read or is not a recording of a port's lines.\n";

namespace {

constexpr int ExitOk = 0;
constexpr int ExitUsage = 1;
constexpr int ExitBadFile = 2;

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Value(const PulseReport& r, std::size_t line, unsigned value) {
    if (r.lines[line].code) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%02X", value);
        return text;
    }
    return value != 0 ? "high" : "low";
}

std::string Note(const FoundPulse& p) {
    std::string note;
    auto add = [&](const char* text) { note += (note.empty() ? "" : "; ") + std::string(text); };
    if (p.began) {
        add("under way when the recording began");
    }
    if (p.unfinished) {
        add("still under way when it ended");
    }
    if (p.inGap) {
        add("an edge where samples were missed");
    }
    return note;
}

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.resize(width, ' ');
    }
    return text;
}

std::string Duration(double seconds) {
    if (seconds >= 1) {
        return Format("%.6g s", seconds);
    }
    if (seconds >= 1e-3) {
        return Format("%.6g ms", seconds * 1e3);
    }
    return Format("%.6g us", seconds * 1e6);
}

}  // namespace

std::string FormatPulseReport(const PulseReport& r, const std::string& fileName) {
    // Times to the file's own resolution, at least to the µs.
    const bool fine = r.tick < 1e-6;
    const char* startFormat = fine ? "%14.9f" : "%11.6f";
    const char* msFormat = fine ? "%.6f" : "%.3f";
    std::string out = "pulses in " + fileName + (r.port.empty() ? "" : ", port " + r.port) +
                      Format(", %.6f s", r.end) + "\n";
    if (r.samplingPeriod > 0) {
        out += "each edge shows at the first sample after it: up to one sampling period (" +
               Duration(r.samplingPeriod) + ") later";
        if (r.longestInterval > 1.5 * r.samplingPeriod) {
            out += ", up to " + Duration(r.longestInterval) +
                   " where the recorder was held up (the longest time between two samples)";
        }
        out += "\n";
    } else {
        out += "the file does not say how often it was sampled\n";
    }
    std::size_t labelWidth = 8;
    for (const ReportLine& line : r.lines) {
        labelWidth = std::max(labelWidth, line.Label().size());
    }
    if (r.pulses.empty()) {
        out += "no pulses on";
        for (const ReportLine& line : r.lines) {
            out += (&line == &r.lines.front() ? " " : ", ") + line.Label();
        }
        return out + "\n";
    }
    out += "\n" + Padded(fine ? "     start (s)" : "  start (s)", fine ? 15 : 12) +
           "  width (ms)  " + Padded("line", labelWidth) + "  value  note\n";
    for (const FoundPulse& p : r.pulses) {
        out +=
            Format(startFormat, p.start) + " " + Format(fine ? "%11.6f" : "%11.3f", p.width * 1e3);
        out += "  " + Padded(r.lines[p.line].Label(), labelWidth) + "  " +
               Padded(Value(r, p.line, p.value), 5) + "  " + Note(p);
        while (out.back() == ' ') {
            out.pop_back();
        }
        out += "\n";
    }
    out += "\n" + Padded("line", labelWidth) +
           "  value  pulses  width min / median / p99 / max (ms)  between starts min / median "
           "/ max (ms)\n";
    for (const PulseStats& s : r.stats) {
        out += Padded(r.lines[s.line].Label(), labelWidth) + "  " +
               Padded(Value(r, s.line, s.value), 5) + Format("  %6.0f", double(s.count)) + "  ";
        std::string widths = "-";
        if (s.count > 0) {
            widths = Format(msFormat, s.minWidth * 1e3) + " / " +
                     Format(msFormat, s.medianWidth * 1e3) + " / " +
                     Format(msFormat, s.p99Width * 1e3) + " / " +
                     Format(msFormat, s.maxWidth * 1e3);
        }
        std::string between = "-";
        if (s.intervals > 0) {
            between = Format(msFormat, s.minInterval * 1e3) + " / " +
                      Format(msFormat, s.medianInterval * 1e3) + " / " +
                      Format(msFormat, s.maxInterval * 1e3);
        }
        out += Padded(widths, 37) + "  " + between;
        if (s.inGap > 0) {
            out += Format("  (%.0f with an edge where samples were missed)", double(s.inGap));
        }
        out += "\n";
    }
    return out;
}

std::string FormatPulseCsv(const PulseReport& r) {
    std::string out = "line,value,start_s,width_s,note\n";
    for (const FoundPulse& p : r.pulses) {
        const ReportLine& line = r.lines[p.line];
        std::string label = std::to_string(line.pins.front());
        if (line.code) {
            label += "-" + std::to_string(line.pins.back());
        }
        out += label + "," + (line.code ? Value(r, p.line, p.value) : std::to_string(p.value)) +
               Format(",%.9f", p.start) + Format(",%.9f", p.width) + "," + Note(p) + "\n";
    }
    return out;
}

int RunPulses(const std::vector<std::string>& args) {
    std::string error;
    const auto read = ReadVerbArgs(args, {"pulses", {"--pins"}, {"--csv"}, {}, 1}, error);
    if (read && read->help) {
        std::fputs(PulsesUsageText, stdout);
        return ExitOk;
    }
    const std::string file = read && !read->plain.empty() ? read->plain[0] : "";
    const std::string pins = read && read->Value("--pins") ? *read->Value("--pins") : "";
    const bool csv = read && read->Value("--csv") != nullptr;
    if (read && file.empty()) {
        error = "pulses needs the recording to read (FILE.vcd)";
    }
    std::vector<ReportLine> lines;
    if (error.empty() && !pins.empty()) {
        if (const auto parsed = ParsePinList(pins, error)) {
            lines = *parsed;
        }
    }
    if (!error.empty()) {
        std::fprintf(stderr, "lptwdmio: %s\n\nUsage:\n  %s", error.c_str(), PulsesUsageText);
        return ExitUsage;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "lptwdmio: cannot read %s: %s\n", file.c_str(), std::strerror(errno));
        return ExitBadFile;
    }
    PulseReport report;
    if (!FindPulses(in, lines, report, error)) {
        std::fprintf(stderr, "lptwdmio: %s: %s\n", file.c_str(), error.c_str());
        return ExitBadFile;
    }
    const std::string text = csv ? FormatPulseCsv(report) : FormatPulseReport(report, file);
    std::fputs(text.c_str(), stdout);
    return ExitOk;
}

}  // namespace agent
