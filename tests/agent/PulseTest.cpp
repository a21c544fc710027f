// Pulses timed by the agent and the pulse report: the report of a recording of
// agent pulses must agree with the agent's trace; hostile requests touch no line;
// no line stays high when a client or the agent goes; pulses sharing a line take
// turns; and the report reads rest levels, codes, gaps and partial pulses right.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <sstream>
#include <thread>

#include "AgentProcess.h"
#include "agent/pulsing/PulseRequest.h"
#include "agent/recording/PulseReport.h"
#include "port/AgentClient.h"
#include "support/Eventually.h"

using namespace port::agent;

namespace {

const std::string Bin = LPTWDMIO_PATH;

void Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

struct Write {
    std::uint64_t ns;
    unsigned value;
};

// The accesses to the data register 0x378 in the agent's trace: writes, or the
// reads of one client.
std::vector<Write> DataAccesses(const std::string& trace, const std::string& kind = "w",
                                pid_t client = 0) {
    std::vector<Write> accesses;
    std::istringstream in(ReadFile(trace));
    std::string ns, rw, address, value, pid;
    while (in >> ns >> rw >> address >> value >> pid) {
        if (rw == kind && address == "0x378" && (client == 0 || std::stoi(pid) == client)) {
            accesses.push_back({std::stoull(ns), unsigned(std::stoul(value, nullptr, 16))});
        }
    }
    return accesses;
}

std::vector<Write> DataWrites(const std::string& trace) {
    return DataAccesses(trace);
}

std::vector<unsigned> Values(const std::vector<Write>& writes) {
    std::vector<unsigned> values;
    for (const Write& w : writes) {
        values.push_back(w.value);
    }
    return values;
}

int Pulse(AgentClient& c, agent::PulseShape shape) {
    std::uint8_t bytes[2 * PulseRequestPairs];
    agent::EncodePulse(shape, bytes);
    return c.Exchange(CodePulse, bytes, PulseRequestPairs);
}

unsigned ReadData(AgentClient& c) {
    std::uint8_t pair[2] = {0x20, 0};
    EXPECT_EQ(c.Exchange(CodeRead, pair, 1), 0);
    return pair[1];
}

bool WaitForContent(const std::string& path) {
    struct stat st {};
    for (int i = 0; i < 500 && (::stat(path.c_str(), &st) != 0 || st.st_size == 0); ++i) {
        Pause(10);
    }
    return st.st_size > 0;
}

std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        std::string cell;
        while (std::getline(fields, cell, ',')) {
            cells.push_back(cell);
        }
        cells.resize(5);
        rows.push_back(cells);
    }
    return rows;
}

}  // namespace

TEST(PulseReport, OfARecordingOfAgentPulsesAgreesWithTheTraceWithinTheSamplingPeriod) {
    TempDir dir;
    AgentProcess agent;
    const std::string socket = dir.path + "/s", trace = dir.path + "/trace",
                      vcd = dir.path + "/r.vcd";
    ASSERT_TRUE(agent.Start(socket, {"--backend", "sim", "--trace", trace}));
    const pid_t recorder =
        StartProgram({Bin, "record", "--rate", "10000", "--out", vcd, "--socket", socket});
    ASSERT_TRUE(WaitForContent(vcd));
    const std::vector<std::vector<std::string>> trains = {
        {"--value", "05", "--width", "3ms", "--count", "5", "--period", "10ms"},
        {"--value", "80", "--mask", "80", "--width", "12ms", "--count", "3", "--period", "30ms"},
        {"--value", "22", "--width", "25ms"}};
    for (const auto& train : trains) {
        std::vector<std::string> argv{Bin, "pulse", "--socket", socket};
        argv.insert(argv.end(), train.begin(), train.end());
        ASSERT_EQ(RunProgram(argv), 0) << train[1];
        Pause(120);
    }
    ::kill(recorder, SIGINT);
    ASSERT_EQ(WaitProgram(recorder), 0);

    std::string csv;
    ASSERT_EQ(RunProgram({Bin, "pulses", vcd, "--pins", "2-9", "--csv"}, &csv), 0);
    const auto rows = CsvRows(csv);
    const std::string text = ReadFile(vcd);
    const std::size_t zeroAt = text.find("CLOCK_MONOTONIC ");
    ASSERT_NE(zeroAt, std::string::npos);
    const double zero = std::strtod(text.c_str() + zeroAt + 16, nullptr);
    // The truth: each write that leaves the lines at a code, until the next write;
    // and when the recorder sampled, from its reads in the same trace.
    const std::vector<Write> writes = DataWrites(trace);
    const std::vector<Write> samples = DataAccesses(trace, "r", recorder);
    struct Edge {
        double at, seen;  // written, and read by the first sample after it (s of the file)
    };
    auto edge = [&](const Write& w) {
        auto next = std::upper_bound(samples.begin(), samples.end(), w.ns,
                                     [](std::uint64_t ns, const Write& s) { return ns < s.ns; });
        const double seen = next == samples.end() ? 1e9 : double(next->ns) / 1e9 - zero;
        return Edge{double(w.ns) / 1e9 - zero, seen};
    };
    std::vector<std::pair<unsigned, std::pair<Edge, Edge>>> truth;
    std::size_t sent = 0;
    for (std::size_t i = 0; i + 1 < writes.size(); ++i) {
        if (writes[i].value != 0) {
            ++sent;
            const Edge rise = edge(writes[i]), fall = edge(writes[i + 1]);
            // A pulse no sample fell into (the recorder was held up throughout, as
            // a slow sanitizer build on a busy machine may be) is not in the file.
            if (rise.seen < fall.at) {
                truth.push_back({writes[i].value, {rise, fall}});
            }
        }
    }
    ASSERT_EQ(sent, 9u);
    ASSERT_GE(truth.size(), 1u);
    ASSERT_EQ(rows.size(), truth.size()) << csv;
    // Each edge shows at the first sample after it: never before it was written, and
    // no later than that sample (the file's times are whole µs).
    const double rounding = 1e-6;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        char value[8];
        std::snprintf(value, sizeof value, "0x%02X", truth[i].first);
        EXPECT_EQ(rows[i][0], "2-9");
        EXPECT_EQ(rows[i][1], value) << i;
        const double start = std::stod(rows[i][2]), end = start + std::stod(rows[i][3]);
        const auto& [rise, fall] = truth[i].second;
        EXPECT_GE(start, rise.at - rounding) << i;
        EXPECT_LE(start, rise.seen + rounding) << i;
        EXPECT_GE(end, fall.at - rounding) << i;
        EXPECT_LE(end, fall.seen + rounding) << i;
    }
    std::string report;
    ASSERT_EQ(RunProgram({Bin, "pulses", vcd, "--pins", "2-9"}, &report), 0);
    EXPECT_NE(report.find("each edge shows at the first sample after it: up to one sampling period "
                          "(100 us) later"),
              std::string::npos)
        << report;
    const auto seen05 =
        std::count_if(truth.begin(), truth.end(), [](const auto& t) { return t.first == 0x05; });
    char summary[40];
    std::snprintf(summary, sizeof summary, "\npins 2-9  0x05  %7d  ", int(seen05));
    EXPECT_NE(report.find(summary), std::string::npos) << report;
}

TEST(PulseTrains, HostileRequestsAreRefusedAndTouchNoLine) {
    TempDir dir;
    AgentProcess agent;
    const std::string socket = dir.path + "/s", trace = dir.path + "/trace";
    ASSERT_TRUE(agent.Start(socket, {"--backend", "sim", "--trace", trace}));
    AgentClient c;
    ASSERT_EQ(c.Open(socket), 0);
    const agent::PulseShape good{0x378, 0x01, 0xFF, 1000, 1, 0};
    std::vector<agent::PulseShape> bad(9, good);
    bad[0].mask = 0;
    bad[1].widthUs = 0;
    bad[2].widthUs = MaxPulseWidthUs + 1;
    bad[3].count = 0;
    bad[4].count = MaxPulseCount + 1, bad[4].periodUs = 2000;
    bad[5].count = 2, bad[5].periodUs = 1005;  // no rest between the pulses
    bad[6].count = 2, bad[6].periodUs = 0;
    bad[7].count = 30, bad[7].periodUs = MaxPulsePeriodUs;        // longer than a day
    bad[8].widthUs = 50, bad[8].count = 2, bad[8].periodUs = 80;  // faster than 10 kHz
    for (std::size_t i = 0; i < bad.size(); ++i) {
        EXPECT_EQ(Pulse(c, bad[i]), EINVAL) << i;
    }
    std::uint8_t bytes[2 * PulseRequestPairs];
    for (const auto& [at, byte] : std::vector<std::pair<int, std::uint8_t>>{
             {0, 0x21}, {0, 0x27}, {3, 0x01}}) {  // not a data register; reserved byte
        agent::EncodePulse(good, bytes);
        bytes[at] = byte;
        EXPECT_EQ(c.Exchange(CodePulse, bytes, PulseRequestPairs), EINVAL)
            << at << " " << int(byte);
    }
    agent::EncodePulse(good, bytes);
    EXPECT_EQ(c.Exchange(CodePulse, bytes, PulseRequestPairs - 1), EINVAL);
    agent::PulseShape elsewhere = good;
    elsewhere.base = 0x278;
    EXPECT_EQ(Pulse(c, elsewhere), ENXIO);
    EXPECT_EQ(ReadData(c), 0u);
    EXPECT_TRUE(DataWrites(trace).empty());

    // At most 16 waiting per client; another client is still served.
    agent::PulseShape slow = good;
    slow.widthUs = 2000000;
    for (int i = 0; i < 16; ++i) {
        ASSERT_EQ(Pulse(c, slow), 0) << i;
    }
    EXPECT_EQ(Pulse(c, slow), EBUSY);
    EXPECT_EQ(RunProgram({Bin, "pulse", "--socket", socket, "--value", "02", "--mask", "02",
                          "--width", "1ms"}),
              0);
    // The command line says the same before asking.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--value", "1", "--width", "5"},
          {"--value", "1", "--width", "5ms", "--count", "2"},
          {"--value", "1", "--width", "5ms", "--count", "2", "--period", "5ms"},
          {"--value", "1", "--width", "61s"},
          {"--value", "100", "--width", "1ms"},
          {"--value", "1", "--width", "1ms", "--port", "278"}}) {
        std::vector<std::string> argv{Bin, "pulse", "--socket", socket};
        argv.insert(argv.end(), args.begin(), args.end());
        EXPECT_EQ(RunProgram(argv), 1) << args[3];
    }
    EXPECT_EQ(RunProgram(
                  {Bin, "pulse", "--socket", dir.path + "/none", "--value", "1", "--width", "1ms"}),
              2);
}

TEST(PulseTrains, NoLineStaysHighWhenTheClientOrTheAgentGoes) {
    TempDir dir;
    const std::string socket = dir.path + "/s", trace = dir.path + "/trace";
    {
        // The client is gone at once: its pulse still ends on time, and an agent
        // that ends with its last client waits for that.
        ASSERT_EQ(RunProgram({Bin, "serve", "--backend", "sim", "--socket", socket, "--trace",
                              trace, "--exit-when-idle", "--detach"}),
                  0);
        AgentClient c;
        ASSERT_EQ(c.Open(socket), 0);  // at once: --detach returned only when ready
        ASSERT_EQ(Pulse(c, {0x378, 0x81, 0xFF, 300000, 1, 0}), 0);
        c.Close();
        struct stat st {};
        EXPECT_TRUE(Eventually([&] { return ::lstat(socket.c_str(), &st) != 0; }));
        const auto writes = DataWrites(trace);
        ASSERT_EQ(Values(writes), (std::vector<unsigned>{0x81, 0x00}));
        EXPECT_GE(writes[1].ns - writes[0].ns, 300000000u);
    }
    {
        // The agent is stopped within a pulse: the lines are put back before it ends.
        AgentProcess agent;
        ASSERT_TRUE(agent.Start(socket, {"--backend", "sim", "--trace", trace}));
        AgentClient c;
        ASSERT_EQ(c.Open(socket), 0);
        ASSERT_EQ(Pulse(c, {0x378, 0x0F, 0x0C, 10000000, 1, 0}), 0);
        EXPECT_EQ(agent.Stop(), 0);
        EXPECT_EQ(Values(DataWrites(trace)), (std::vector<unsigned>{0x81, 0x00, 0x0C, 0x00}));
    }
}

TEST(PulseTrains, PulsesSharingALineTakeTurnsAndNoClientWaitsForATrain) {
    TempDir dir;
    AgentProcess agent;
    const std::string socket = dir.path + "/s", trace = dir.path + "/trace";
    ASSERT_TRUE(agent.Start(socket, {"--backend", "sim", "--trace", trace}));
    AgentClient c;
    ASSERT_EQ(c.Open(socket), 0);
    ASSERT_EQ(Pulse(c, {0x378, 0x01, 0x01, 400000, 1, 0}), 0);
    ASSERT_EQ(Pulse(c, {0x378, 0x01, 0x03, 50000, 1, 0}), 0);  // shares D0: waits
    ASSERT_EQ(Pulse(c, {0x378, 0x04, 0x04, 50000, 1, 0}), 0);  // D2 alone: at once
    EXPECT_EQ(ReadData(c), 0x05u);
    Pause(600);
    EXPECT_EQ(Values(DataWrites(trace)),
              (std::vector<unsigned>{0x01, 0x05, 0x01, 0x00, 0x01, 0x00}));
    // A train at 10 kHz for a second: the others are served between its edges.
    ASSERT_EQ(Pulse(c, {0x378, 0x80, 0x80, 50, 10000, 100}), 0);
    AgentClient other;
    ASSERT_EQ(other.Open(socket), 0);
    std::uint8_t pair[2] = {0x22, 0};
    EXPECT_EQ(other.Exchange(CodeRead, pair, 1), 0);
}

TEST(PulseReport, RestLevelsCodesGapsAndPulsesCutByTheRecording) {
    // D0 is high when the recording begins; D1 and D2 change together; STROBE rests
    // high (its lamp's level) with two low pulses; the recorder missed samples
    // from 600 to 700 us; D2 is still high at the end.
    const std::string vcd =
        "$timescale 1 us $end\n$comment\n  Asked rate 10000 Hz.\n$end\n"
        "$scope module lpt_0x278 $end\n"
        "$var wire 1 ! pin01_STROBE $end\n$var wire 1 \" pin02_D0 $end\n"
        "$var wire 1 # pin03_D1 $end\n$var wire 1 $ pin04_D2 $end\n$upscope $end\n"
        "$scope module recording $end\n$var wire 1 % sampling_gap $end\n$upscope $end\n"
        "$enddefinitions $end\n#0\n$dumpvars\n1!\n1\"\n0#\n0$\n0%\n$end\n"
        "#100\n0\"\n#200\n1#\n1$\n#300\n0#\n0$\n0!\n#310\n1!\n"
        "#580\n0!\n#600\n1%\n#700\n0%\n1#\n1$\n1!\n#800\n0#\n#1000\n";
    std::istringstream in(vcd);
    agent::PulseReport r;
    std::string error;
    ASSERT_TRUE(agent::FindPulses(in, {}, r, error)) << error;
    EXPECT_EQ(r.port, "0x278");
    EXPECT_DOUBLE_EQ(r.samplingPeriod, 1e-4);
    ASSERT_EQ(r.lines.size(), 2u);  // pins 2-4 as one code, and pin 1
    ASSERT_EQ(r.pulses.size(), 6u);
    auto is = [&](std::size_t i, std::size_t line, unsigned value, double startUs, double widthUs,
                  bool began, bool unfinished, bool gap) {
        const agent::FoundPulse& p = r.pulses[i];
        EXPECT_EQ(p.line, line) << i;
        EXPECT_EQ(p.value, value) << i;
        EXPECT_NEAR(p.start, startUs * 1e-6, 1e-9) << i;
        EXPECT_NEAR(p.width, widthUs * 1e-6, 1e-9) << i;
        EXPECT_EQ(p.began, began) << i;
        EXPECT_EQ(p.unfinished, unfinished) << i;
        EXPECT_EQ(p.inGap, gap) << i;
    };
    is(0, 0, 0x01, 0, 100, true, false, false);
    is(1, 0, 0x06, 200, 100, false, false, false);
    is(2, 1, 0, 300, 10, false, false, false);
    is(3, 1, 0, 580, 120, false, false, true);  // ends where samples were missed
    is(4, 0, 0x06, 700, 100, false, false, true);
    is(5, 0, 0x04, 800, 200, false, true, false);
    ASSERT_EQ(r.stats.size(), 4u);
    const agent::PulseStats& six = r.stats[2];  // by line, then value: 0x01, 0x04, 0x06
    EXPECT_EQ(six.value, 0x06u);
    EXPECT_EQ(six.count, 2u);
    EXPECT_EQ(six.inGap, 1u);
    EXPECT_NEAR(six.medianWidth, 100e-6, 1e-9);
    EXPECT_NEAR(six.medianInterval, 500e-6, 1e-9);
    EXPECT_EQ(r.stats[0].count, 0u);  // only the one under way at the start
    const agent::PulseStats& strobe = r.stats[3];
    EXPECT_EQ(strobe.count, 2u);
    EXPECT_NEAR(strobe.minWidth, 10e-6, 1e-9);
    EXPECT_NEAR(strobe.p99Width, 120e-6, 1e-9);
}

TEST(PulseReport, UnreadableOrForeignFilesExitTwo) {
    TempDir dir;
    auto file = [&](const std::string& name, const std::string& text) {
        const std::string path = dir.path + "/" + name;
        FILE* f = std::fopen(path.c_str(), "w");
        std::fputs(text.c_str(), f);
        std::fclose(f);
        return path;
    };
    const std::string ok = file("ok.vcd",
                                "$timescale 1 ns $end\n$var wire 1 ! pin02_D0 $end\n"
                                "$enddefinitions $end\n#0\n0!\n#10\n1!\n#20\n0!\n");
    std::string out;
    EXPECT_EQ(RunProgram({Bin, "pulses", ok}, &out), 0);
    EXPECT_NE(out.find("pin 2 D0  high"), std::string::npos) << out;
    const std::vector<std::string> bad = {
        dir.path + "/missing.vcd", file("text.vcd", "hello\n"),
        file("foreign.vcd", "$timescale 1 us $end\n$var wire 1 ! clk $end\n$enddefinitions $end\n"),
        file("cut.vcd", "$timescale 1 us $end\n$var wire 1 ! pin02_D0 $end\n$enddef"),
        file("back.vcd",
             "$timescale 1 us $end\n$var wire 1 ! pin02_D0 $end\n"
             "$enddefinitions $end\n#5\n0!\n#4\n1!\n")};
    for (const std::string& path : bad) {
        EXPECT_EQ(RunProgram({Bin, "pulses", path}), 2) << path;
    }
    EXPECT_EQ(RunProgram({Bin, "pulses", ok, "--pins", "3"}), 2);  // no wire for it
    EXPECT_EQ(RunProgram({Bin, "pulses", ok, "--pins", "18"}), 1);
    EXPECT_EQ(RunProgram({Bin, "pulses", ok, "--pins", "2-4,3"}), 1);
}
