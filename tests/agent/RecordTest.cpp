// `lptwdmio record` against a simulated agent: pulses of known width written by
// a client must show in the VCD where the agent's trace says they happened, the
// file must read the same in sigrok-cli, and bad input, a vanished agent and a
// full disk must end the way a script can rely on.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <thread>

#include "AgentProcess.h"
#include "VcdRead.h"
#include "agent/recording/VcdWriter.h"
#include "port/AgentClient.h"

using namespace port::agent;
using Edges = std::vector<std::pair<std::uint64_t, int>>;

namespace {

const std::string Bin = LPTWDMIO_PATH;

void Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool WaitForContent(const std::string& path) {
    struct stat st {};
    for (int i = 0; i < 500; ++i) {
        if (::stat(path.c_str(), &st) == 0 && st.st_size > 0) {
            return true;
        }
        Pause(10);
    }
    return false;
}

void Write(AgentClient& c, std::vector<std::uint8_t> pairs) {
    ASSERT_EQ(c.Exchange(CodeWrite, pairs.data(), std::uint32_t(pairs.size() / 2)), 0);
}

// "<ns> w 0x378 0x01 <pid>" lines of the trace: (ns, address, value) of each write.
struct TraceWrite {
    std::uint64_t ns;
    unsigned address, value;
};

std::vector<TraceWrite> TraceWrites(const std::string& path) {
    std::vector<TraceWrite> writes;
    std::istringstream in(ReadFile(path));
    std::string ns, rw, address, value, pid;
    while (in >> ns >> rw >> address >> value >> pid) {
        if (rw == "w") {
            writes.push_back({std::stoull(ns), unsigned(std::stoul(address, nullptr, 16)),
                              unsigned(std::stoul(value, nullptr, 16))});
        }
    }
    return writes;
}

// A number that follows `label` in text, or -1.
double NumberAfter(const std::string& text, const std::string& label) {
    const std::size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::strtod(text.c_str() + at + label.size(), nullptr);
}

std::string FindInPath(const std::string& program) {
    std::istringstream path(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "");
    std::string folder;
    while (std::getline(path, folder, ':')) {
        if (::access((folder + "/" + program).c_str(), X_OK) == 0) {
            return folder + "/" + program;
        }
    }
    return "";
}

}  // namespace

// One recording at 10 kHz, shared by the checks below: pulses on D0-D4 of 3 to
// 50 ms, a pulse on STROBE, and batches that raise and lower D7 at once.
class PulseRecording : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::make_unique<TempDir>();
        agent = std::make_unique<AgentProcess>();
        socket = dir->path + "/agent";
        vcd = dir->path + "/pulses.vcd";
        const std::string trace = dir->path + "/trace";
        ASSERT_TRUE(agent->Start(socket, {"--backend", "sim", "--loopback", "--trace", trace}));
        const pid_t recorder =
            StartProgram({Bin, "record", "--rate", "10000", "--out", vcd, "--socket", socket});
        ASSERT_TRUE(WaitForContent(vcd));
        AgentClient c;
        ASSERT_EQ(c.Open(socket), 0);
        const int widths[] = {3, 6, 12, 25, 50};
        for (int i = 0; i < 5; ++i) {
            Write(c, {0x20, std::uint8_t(1 << i)});
            Pause(widths[i]);
            Write(c, {0x20, 0x00});
            Pause(15);
        }
        Write(c, {0x22, 0x0D});
        Pause(10);
        Write(c, {0x22, 0x0C});
        for (int i = 0; i < 20; ++i) {
            Write(c, {0x20, 0x80, 0x20, 0x00});
        }
        Pause(20);
        ::kill(recorder, SIGINT);
        exitCode = WaitProgram(recorder);
        text = ReadFile(vcd);
        file = ReadVcd(text);
        writes = TraceWrites(trace);
    }
    static void TearDownTestSuite() {
        agent.reset();
        dir.reset();
    }

    static inline std::unique_ptr<TempDir> dir;
    static inline std::unique_ptr<AgentProcess> agent;
    static inline std::string socket, vcd, text;
    static inline int exitCode = -1;
    static inline VcdFile file;
    static inline std::vector<TraceWrite> writes;
};

TEST_F(PulseRecording, EdgesMatchTheWritesWithinTheTimeBetweenSamples) {
    ASSERT_EQ(exitCode, 0);
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_EQ(file.timescale, "1 us");
    EXPECT_NE(text.find("$scope module lpt_0x378 $end"), std::string::npos);
    EXPECT_NE(file.comments.find("0x378 = simulated port (loopback plug norton)"),
              std::string::npos);
    // Time 0 on the agent's clock, and the longest time between two samples.
    const double zeroSeconds = NumberAfter(file.comments, "CLOCK_MONOTONIC ");
    const double longestUs = NumberAfter(file.comments, "longest time between samples ");
    ASSERT_GT(zeroSeconds, 0);
    ASSERT_GT(longestUs, 0) << "figures missing after Ctrl+C";
    const std::uint64_t zeroNs = std::uint64_t(zeroSeconds * 1e9 + 0.5);
    const double slackUs = 2;  // the µs rounding of both ends

    // The lamps' levels at the start: control 0x0C, nothing on the data lines.
    const std::map<std::string, int> initial = {
        {"pin01_STROBE", 1}, {"pin14_AUTOFEED", 1}, {"pin16_INIT", 1},  {"pin17_SELECTIN", 0},
        {"pin02_D0", 0},     {"pin11_BUSY", 0},     {"pin15_ERROR", 0}, {"sampling_gap", 0}};
    for (const auto& [name, level] : initial) {
        ASSERT_FALSE(file.signals[name].empty()) << name;
        EXPECT_EQ(file.signals[name].front(), std::make_pair(std::uint64_t(0), level)) << name;
    }
    EXPECT_EQ(file.signals.size(), 18u);

    int checked = 0;
    for (int line = -1; line < 8; ++line) {
        // The true level of the line after each write, from the trace, in µs of the file.
        const std::string name =
            line < 0 ? "pin01_STROBE"
                     : "pin0" + std::to_string(line + 2) + "_D" + std::to_string(line);
        std::vector<std::pair<double, int>> truth;
        for (const TraceWrite& w : writes) {
            if (w.address == (line < 0 ? 0x37Au : 0x378u) && w.ns > zeroNs) {
                const int level = line < 0 ? !(w.value & 1) : int(w.value >> line & 1);
                truth.emplace_back(double(w.ns - zeroNs) / 1e3, level);
            }
        }
        const Edges& seen = file.signals[name];
        // Every recorded level is the true one at its time: no edge out of nowhere.
        for (const auto& [at, level] : seen) {
            int trueLevel = seen.front().second;
            for (const auto& [t, l] : truth) {
                if (t <= double(at) + slackUs) {
                    trueLevel = l;
                }
            }
            EXPECT_EQ(level, trueLevel) << name << " at " << at << " us";
        }
        // A pulse longer than any time between samples shows, each edge late by at
        // most that time.
        for (std::size_t i = 0; i + 1 < truth.size(); ++i) {
            const double width = truth[i + 1].first - truth[i].first;
            if (truth[i].second != 1 || truth[i + 1].second != 0 || width <= longestUs) {
                continue;
            }
            for (int edge = 0; edge < 2; ++edge) {
                const auto& [t, level] = truth[i + edge];
                bool found = false;
                for (const auto& [at, l] : seen) {
                    found |= l == level && double(at) >= t - slackUs &&
                             double(at) <= t + longestUs + slackUs;
                }
                EXPECT_TRUE(found) << name << " edge to " << level << " at " << t << " us";
            }
            ++checked;
        }
    }
    EXPECT_GE(checked, 1) << "every pulse was shorter than the longest time between samples";
    // A batch that raises and lowers D7 is never seen half done.
    EXPECT_EQ(file.signals["pin09_D7"].size(), 1u);
    // The loopback plug's status inputs follow D0-D4, BUSY shown inverted like its lamp.
    const std::pair<const char*, const char*> plug[] = {{"pin15_ERROR", "pin02_D0"},
                                                        {"pin13_SELECT", "pin03_D1"},
                                                        {"pin12_PAPEREND", "pin04_D2"},
                                                        {"pin10_ACKNLG", "pin05_D3"},
                                                        {"pin11_BUSY", "pin06_D4"}};
    for (const auto& [status, data] : plug) {
        EXPECT_EQ(file.signals[status], file.signals[data]) << status;
    }
    EXPECT_GE(file.endTime, file.signals["pin01_STROBE"].back().first);
}

TEST_F(PulseRecording, SigrokReadsTheSameEdges) {
    const std::string sigrok = FindInPath("sigrok-cli");
    if (sigrok.empty()) {
        GTEST_SKIP() << "sigrok-cli is not installed (scripts/test installs it)";
    }
    ASSERT_TRUE(file.ok) << file.error;
    const std::string converted = dir->path + "/sigrok.vcd";
    ASSERT_EQ(RunProgram({sigrok, "-I", "vcd", "-i", vcd, "-O", "vcd", "-o", converted}), 0);
    const VcdFile theirs = ReadVcd(ReadFile(converted));
    ASSERT_TRUE(theirs.ok) << theirs.error;
    EXPECT_EQ(theirs.timescale, "1 us");
    for (const auto& [name, changes] : file.signals) {
        ASSERT_TRUE(theirs.signals.count(name)) << name;
        EXPECT_EQ(theirs.signals.at(name), changes) << name;
    }
}

TEST(Record, UsageErrorsExitOneAndLeaveNoFile) {
    TempDir dir;
    AgentProcess agent;
    const std::string socket = dir.path + "/agent", out = dir.path + "/x.vcd";
    ASSERT_TRUE(agent.Start(socket, {"--backend", "sim"}));
    const std::vector<std::vector<std::string>> bad = {
        {"--rate", "0"},        {"--rate", "100001"}, {"--rate", "1e3"}, {"--port", "300"},
        {"--seconds", "0"},     {"--seconds", "-1"},  {"--port", "278"},  // not served by this
                                                                          // agent
        {"--seconds", "1e-10"},  // would round to no limit at all
        {"--out", out + "2"},    // given twice
        {"--frobnicate"}};
    for (const auto& extra : bad) {
        std::vector<std::string> argv{Bin, "record", "--socket", socket, "--out", out};
        argv.insert(argv.end(), extra.begin(), extra.end());
        EXPECT_EQ(RunProgram(argv), 1) << extra[0] << " " << extra.back();
        EXPECT_NE(::access(out.c_str(), F_OK), 0) << extra[0] << " left " << out;
    }
    EXPECT_EQ(RunProgram({Bin, "record", "--socket", socket}), 1);  // no --out
    EXPECT_EQ(RunProgram({Bin, "record", "--socket", socket, "--out", dir.path + "/no/x.vcd"}), 1);
    EXPECT_EQ(RunProgram({Bin, "record", "--socket", dir.path + "/nobody", "--out", out}), 2);
    EXPECT_NE(::access(out.c_str(), F_OK), 0);
    std::string help;
    EXPECT_EQ(RunProgram({Bin, "--help"}, &help), 0);
    EXPECT_NE(help.find("--seconds S"), std::string::npos);
}

TEST(Record, AVanishedAgentOrAFullDiskEndsTheFileCleanlyWithExitTwo) {
    TempDir dir;
    AgentProcess agent;
    const std::string socket = dir.path + "/agent", out = dir.path + "/cut.vcd";
    ASSERT_TRUE(agent.Start(socket, {"--backend", "sim", "--loopback"}));
    EXPECT_EQ(
        RunProgram({Bin, "record", "--socket", socket, "--seconds", "0.1", "--out", "/dev/full"}),
        2);

    // A file that may not grow beyond 4 KB, as on a full disk, while D0 toggles.
    const std::string full = dir.path + "/full.vcd";
    std::atomic<bool> done{false};
    std::thread toggler([&] {
        AgentClient c;
        ASSERT_EQ(c.Open(socket), 0);
        for (int i = 0; !done && i < 5000; ++i) {
            Write(c, {0x20, std::uint8_t(i & 1)});
            Pause(1);
        }
    });
    EXPECT_EQ(RunProgram({"/bin/sh", "-c", "ulimit -f 8 && trap '' XFSZ && exec \"$0\" \"$@\"", Bin,
                          "record", "--socket", socket, "--seconds", "10", "--out", full}),
              2);
    done = true;
    toggler.join();
    const std::string cutText = ReadFile(full);
    const VcdFile fullFile = ReadVcd(cutText);
    ASSERT_TRUE(fullFile.ok) << fullFile.error;
    EXPECT_LE(cutText.size(), 4096u);
    EXPECT_GT(fullFile.signals.at("pin02_D0").size(), 3u);
    EXPECT_EQ(cutText.back(), '\n');
    EXPECT_NE(fullFile.comments.find("Achieved"), std::string::npos);

    const pid_t recorder = StartProgram({Bin, "record", "--socket", socket, "--out", out});
    ASSERT_TRUE(WaitForContent(out));
    Pause(100);
    ::kill(agent.Pid(), SIGKILL);
    agent.Stop();
    EXPECT_EQ(WaitProgram(recorder), 2);
    const std::string text = ReadFile(out);
    const VcdFile cut = ReadVcd(text);
    ASSERT_TRUE(cut.ok) << cut.error;
    EXPECT_GT(NumberAfter(cut.comments, "samples over "), 0.05);
    EXPECT_GT(cut.endTime, 50000u);
    EXPECT_EQ(text.back(), '\n');
}

TEST(VcdWriter, LampLevelsChangesOnlyAndMarkedGaps) {
    using agent::Sample;
    // The lamps: control 0x00 lights 1, 14 and 17; status 0x00 lights BUSY alone.
    const Sample dark{0, 0x00, 0x00, 0x00}, lit{0, 0xFF, 0xF8, 0x0F};
    for (const auto& line : agent::ConnectorLines) {
        const bool inverted = line.pin == 1 || line.pin == 11 || line.pin == 14 || line.pin == 17;
        EXPECT_EQ(agent::LineLevel(line, dark), inverted) << line.pin;
        EXPECT_EQ(agent::LineLevel(line, lit), !inverted) << line.pin;
    }

    agent::VcdWriter writer(0x278, 1000, "sim $end", "today");
    std::string out;
    const std::uint64_t t0 = 5000000000ULL, ms = 1000000;
    writer.Begin({t0, 0x00, 0x7F, 0x0C}, out);
    writer.Add({t0 + 1 * ms, 0x00, 0x7F, 0x0C}, out);
    writer.Add({t0 + 2 * ms, 0x01, 0x7F, 0x0C}, out);
    writer.Add({t0 + 2 * ms + 300, 0x00, 0x7F, 0x0C}, out);  // the same µs: the last stands
    writer.Add({t0 + 3 * ms, 0x01, 0x7F, 0x0C}, out);
    writer.Add({t0 + 3 * ms, 0x00, 0x7F, 0x0C}, out);     // not later: not believed
    writer.Add({t0 + 7 * ms, 0x01, 0x7F, 0x0D, 3}, out);  // three sampling times went by
    writer.Add({t0 + 9 * ms, 0x01, 0x7F, 0x0D}, out);     // late, but none went by
    writer.Finish(out);
    const VcdFile f = ReadVcd(out);
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_NE(out.find("$scope module lpt_0x278 $end"), std::string::npos);
    EXPECT_EQ(f.comments.find("sim $end"), std::string::npos);
    EXPECT_EQ(f.signals.at("pin02_D0"), (Edges{{0, 0}, {3000, 1}}));
    EXPECT_EQ(f.signals.at("pin01_STROBE"), (Edges{{0, 1}, {7000, 0}}));
    EXPECT_EQ(f.signals.at("sampling_gap"), (Edges{{0, 0}, {4000, 1}, {7000, 0}}));
    EXPECT_EQ(f.endTime, 9000u);
    EXPECT_EQ(writer.Stats().samples, 7u);
    EXPECT_EQ(writer.Stats().missed, 3u);
    EXPECT_EQ(writer.Stats().gaps, 1u);
    EXPECT_EQ(writer.Stats().longestIntervalNs, 4 * ms);
    EXPECT_EQ(writer.Stats().longestIntervalAtNs, 3 * ms);
    EXPECT_FALSE(writer.RateHeld());
    const std::string summary = writer.SummaryLine();
    EXPECT_EQ(summary.size(), agent::VcdWriter::SummaryWidth);
    EXPECT_NE(summary.find("Achieved 666.7 Hz (asked 1000 Hz): 7 samples over 0.009000 s; 3 "
                           "missed in 1 gap,"),
              std::string::npos)
        << summary;
    // The figures' line stands where the writer says, ready to be written over.
    EXPECT_EQ(out.compare(writer.SummaryOffset(), 16, "Figures missing:"), 0);
}

// Edges stand at the nearest µs, never up to a µs early.
TEST(VcdWriter, TimesRoundToTheNearestMicrosecond) {
    agent::VcdWriter writer(0x378, 1000000, "sim", "today");
    std::string out;
    const std::uint64_t t0 = 5000000000ULL;
    writer.Begin({t0, 0x00, 0x7F, 0x0C}, out);
    writer.Add({t0 + 1600, 0x01, 0x7F, 0x0C}, out);
    writer.Add({t0 + 3400, 0x00, 0x7F, 0x0C}, out);
    writer.Finish(out);
    const VcdFile f = ReadVcd(out);
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(f.signals.at("pin02_D0"), (Edges{{0, 0}, {2, 1}, {3, 0}}));
}

// An agent held up between its timer and its clock reports missed times on a sample
// that comes soon after the last: the gap is still marked, and time never goes back.
TEST(VcdWriter, AGapReportedSoonAfterTheLastSampleStaysInOrder) {
    agent::VcdWriter writer(0x378, 10000, "sim", "today");
    std::string out;
    const std::uint64_t t0 = 5000000000ULL, us = 1000;
    writer.Begin({t0, 0x00, 0x7F, 0x0C}, out);
    writer.Add({t0 + 1300 * us, 0x00, 0x7F, 0x0C}, out);
    writer.Add({t0 + 1340 * us, 0x01, 0x7F, 0x0C, 12}, out);       // sooner than a period
    writer.Add({t0 + 1340 * us + 200, 0x00, 0x7F, 0x0C, 1}, out);  // within the same µs
    writer.Add({t0 + 1440 * us, 0x00, 0x7F, 0x0C}, out);
    writer.Finish(out);
    const VcdFile f = ReadVcd(out);
    ASSERT_TRUE(f.ok) << f.error;
    EXPECT_EQ(f.signals.at("sampling_gap"), (Edges{{0, 0}, {1339, 1}, {1440, 0}}));
    EXPECT_EQ(writer.Stats().gaps, 2u);
}
