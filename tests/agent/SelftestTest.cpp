// lptwdmio selftest: the loopback test against simulated ports with each fault
// injected, the ppdev view of the control lines, the direction bit through
// ppdev, and the command through a running agent.
#include <gtest/gtest.h>

#include "AgentFakes.h"
#include "agent/backends/SimBackend.h"
#include "agent/cli/LoopbackTest.h"
#include "agent/cli/Options.h"

using namespace agent;

namespace {

// A simulated port at 0x378 as the test sees it. ppdevLike: the control
// register reads back what was written, as through ppdev.
class SimTestPort : public TestPort {
public:
    SimTestPort(const std::string& plug, const std::vector<std::string>& faults,
                bool ppdevLike = false)
        : sim_({0x378}, FindPlugWiring(plug), Faults(faults)), ppdevLike_(ppdevLike) {}

    int Write(std::uint8_t data, std::uint8_t control) override {
        ++exchanges;
        written = control;
        sim_.Write(0x378, data);
        return sim_.Write(0x37A, control);
    }
    int Read(PortRegisters& r) override {
        ++exchanges;
        sim_.Read(0x378, r.data);
        sim_.Read(0x379, r.status);
        sim_.Read(0x37A, r.control);
        if (ppdevLike_) {
            r.control = written;
        }
        return 0;
    }
    int exchanges = 0;
    std::uint8_t written = 0x0C;

private:
    static std::vector<SimFault> Faults(const std::vector<std::string>& texts) {
        std::vector<SimFault> faults;
        std::string error;
        for (const std::string& t : texts) {
            const auto f = ParseSimFault(t, error);
            EXPECT_TRUE(f) << error;
            faults.push_back(f.value_or(SimFault{}));
        }
        return faults;
    }
    SimBackend sim_;
    bool ppdevLike_;
};

LoopbackResult Check(TestPort& port, const std::string& named = "", bool controlReadsLines = true) {
    LoopbackSetup setup;
    setup.plug = named.empty() ? nullptr : FindPlugWiring(named);
    setup.controlReadsLines = controlReadsLines;
    return RunLoopbackTest(port, setup);
}

// "pin: verdict" for every line that is not a plain pass.
std::string Faults(const LoopbackResult& r) {
    std::string text;
    for (const LineResult& l : r.lines) {
        if (l.verdict != Verdict::Pass || l.notSeenAt != 0) {
            text += std::to_string(l.pin) + ": " + VerdictText(l) + "\n";
        }
    }
    return text;
}

}  // namespace

TEST(Selftest, FindsEachPlugAndLeavesThePortAsItWas) {
    for (const PlugWiring& plug : PlugWirings()) {
        SimTestPort port(plug.name, {});
        port.Write(0xA5, 0x05);
        const LoopbackResult r = Check(port);
        ASSERT_EQ(r.plug, &plug);
        EXPECT_TRUE(r.found);
        EXPECT_EQ(r.loopsAnswering, 5);
        EXPECT_EQ(Faults(r), "") << plug.name;
        EXPECT_EQ(r.ExitCode(), 0);
        EXPECT_TRUE(r.ps2.done && r.ps2.asOutput == 0x00 && r.ps2.asInput == 0xFF);
        PortRegisters after;
        port.Read(after);
        EXPECT_EQ(after.data, 0xA5);
        EXPECT_EQ(after.control & 0x3F, 0x05);
        const std::string table = FormatLoopbackResult(r, true);
        EXPECT_NE(table.find("Result: pass"), std::string::npos) << table;
    }
}

TEST(Selftest, NamesThePinsOfEveryInjectedFault) {
    struct Case {
        const char* plug;
        std::vector<std::string> faults;
        const char* found;
    };
    const Case cases[] = {
        {"norton", {"stuck-low=5"}, "5: stuck low\n10: stuck low\n"},
        {"norton", {"stuck-high=11"}, "6: stuck high\n11: stuck high\n"},
        {"checkit", {"stuck-high=13"}, "1: stuck high\n13: stuck high\n"},
        {"norton",
         {"short=2,3"},
         "2: shorted to pin 3\n3: shorted to pin 2\n13: shorted to pin 2\n15: shorted to pin 3\n"},
        // Lines the plug leaves open still show a short at their read-back.
        {"norton",
         {"short=8,9"},
         "8: shorted to pin 9 (read back only)\n9: shorted to pin 8 (read back only)\n"},
        {"checkit",
         {"short=14,16"},
         "10: shorted to pin 14\n12: shorted to pin 16\n14: shorted to pin 16\n"
         "16: shorted to pin 14\n"},
    };
    for (const Case& c : cases) {
        SimTestPort port(c.plug, c.faults);
        const LoopbackResult r = Check(port);
        ASSERT_TRUE(r.plug) << c.faults[0];
        EXPECT_EQ(r.plug->name, c.plug) << c.faults[0];
        EXPECT_EQ(Faults(r), c.found) << c.faults[0];
        EXPECT_EQ(r.ExitCode(), 1) << c.faults[0];
    }
}

TEST(Selftest, NoPlugAndThePlugOfAnotherWiring) {
    SimTestPort bare("none", {});
    LoopbackResult r = Check(bare);
    EXPECT_TRUE(r.noPlug);
    EXPECT_EQ(r.ExitCode(), 2);
    for (int pin : InputPins) {
        EXPECT_EQ(r.lines[pin - 1].verdict, Verdict::NoPlug) << pin;
    }
    EXPECT_NE(FormatLoopbackResult(r, true).find("Result: no plug"), std::string::npos);
    // Named, but missing, it is still no plug, not a row of failures.
    r = Check(bare, "checkit");
    EXPECT_TRUE(r.noPlug);
    EXPECT_EQ(r.ExitCode(), 2);
    // A bare port's own logic may move an input (QEMU's sets ACK once INIT went
    // low): that follows no output, so it is still no plug.
    class Sticky : public SimTestPort {
    public:
        using SimTestPort::SimTestPort;
        int Write(std::uint8_t data, std::uint8_t control) override {
            initWentLow = initWentLow || (control & 0x04) == 0;
            return SimTestPort::Write(data, control);
        }
        int Read(PortRegisters& r) override {
            SimTestPort::Read(r);
            r.status = static_cast<std::uint8_t>(initWentLow ? r.status : r.status & ~0x40);
            return 0;
        }
        bool initWentLow = false;
    } sticky("none", {});
    EXPECT_TRUE(Check(sticky).noPlug);

    SimTestPort other("checkit", {});
    r = Check(other, "norton");
    EXPECT_EQ(r.plug->name, "norton");
    ASSERT_TRUE(r.looksLike);
    EXPECT_EQ(r.looksLike->name, "checkit");
    EXPECT_EQ(Faults(r),
              "3: pass at its read-back, but pin 13 misses it\n"
              "4: pass at its read-back, but pin 12 misses it\n"
              "5: pass at its read-back, but pin 10 misses it\n"
              "6: pass at its read-back, but pin 11 misses it\n"
              "10: follows pin 16\n11: follows pin 17\n12: follows pin 14\n13: follows pin 1\n");
    EXPECT_EQ(r.ExitCode(), 1);
}

TEST(Selftest, ThroughPpdevTheControlLinesAreSeenOnlyAtTheirLoops) {
    SimTestPort checkit("checkit", {"stuck-high=13"}, true);
    LoopbackResult r = Check(checkit, "", false);
    EXPECT_EQ(Faults(r), "1: stuck high (seen at pin 13)\n13: stuck high\n");
    SimTestPort norton("norton", {}, true);
    r = Check(norton, "", false);
    for (int pin : {1, 14, 16, 17}) {
        EXPECT_EQ(r.lines[pin - 1].verdict, Verdict::NotTested) << pin;
    }
    EXPECT_EQ(r.ExitCode(), 0);
    EXPECT_NE(FormatLoopbackResult(r, false).find(
                  " 14  AUTOFEED  -      not tested: through ppdev the control register "
                  "reads back what was written"),
              std::string::npos);
}

TEST(Selftest, DataLinesThatDoNotTurnToInput) {
    SimTestPort port("norton", {"output-only"});
    const LoopbackResult r = Check(port);
    EXPECT_TRUE(r.ps2.done);
    EXPECT_EQ(r.ps2.asInput, 0x00);
    EXPECT_NE(FormatLoopbackResult(r, true).find("they do not turn to input"), std::string::npos);
    EXPECT_EQ(r.ExitCode(), 0);  // a port without PS/2 mode is not broken
}

TEST(Selftest, AnInterruptPutsThePortBack) {
    for (int after : {1, 30, 111}) {
        SimTestPort port("norton", {});
        port.Write(0x3C, 0x0A);
        LoopbackSetup setup;
        setup.stopRequested = [&] { return port.exchanges >= after; };
        const LoopbackResult r = RunLoopbackTest(port, setup);
        EXPECT_TRUE(r.interrupted && r.restored) << after;
        EXPECT_EQ(r.ExitCode(), 2);
        PortRegisters now;
        port.Read(now);
        EXPECT_EQ(now.data, 0x3C) << after;
        EXPECT_EQ(port.written, 0xCA) << after;
    }
}

// The kernel's control write turns the data lines round on bit 5 but never
// back: the backend must use PPDATADIR both ways and report the bit on reads.
TEST(PpdevDirection, TheDirectionBitGoesThroughDataDir) {
    class DirPpdev : public FakePpdev {
    public:
        std::vector<std::string> calls;
        int SetDataReverse(int, bool reverse) override {
            calls.push_back(reverse ? "reverse" : "forward");
            return 0;
        }
        int Transfer(int fd, PpRegister reg, bool write, std::uint8_t& v) override {
            if (reg == PpRegister::Control) {
                write ? void(calls.push_back("control " + std::to_string(v))) : void(v = 0x0C);
                return 0;
            }
            return FakePpdev::Transfer(fd, reg, write, v);
        }
    } ops;
    PpdevBackend backend(ops, {{{0x378, "/dev/parport0", 0x378, 0}, 40}});
    ASSERT_EQ(backend.Write(0x37A, 0x2C), 0);
    std::uint8_t control = 0;
    backend.Read(0x37A, control);
    EXPECT_EQ(control, 0x2C);
    backend.Write(0x37A, 0x2D);
    backend.Write(0x37A, 0x0C);
    backend.Read(0x37A, control);
    EXPECT_EQ(control, 0x0C);
    EXPECT_EQ(ops.calls, (std::vector<std::string>{"reverse", "control 12", "control 13", "forward",
                                                   "control 12"}));
}

TEST(SelftestCommand, ThroughARunningAgent) {
    PrivateRuntimeDir dir;
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(
        dir.Socket(), {"--backend", "sim", "--plug", "checkit", "--sim-fault", "stuck-low=16"}));
    std::string out;
    ASSERT_EQ(RunProgram({LPTWDMIO_PATH, "write", "0x378", "0x5A"}), 0);
    EXPECT_EQ(RunProgram({LPTWDMIO_PATH, "selftest"}, &out), 1);
    EXPECT_NE(out.find("Testing 0x378 = simulated port (loopback plug checkit; faults: "
                       "stuck-low=16)"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(" 16  INIT      10     stuck low\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Result: FAIL: 2 lines: pin 10 stuck low; pin 16 stuck low"),
              std::string::npos)
        << out;
    out.clear();
    RunProgram({LPTWDMIO_PATH, "read", "0x378"}, &out);
    EXPECT_EQ(out, "0x5A\n");

    EXPECT_EQ(RunProgram({LPTWDMIO_PATH, "selftest", "--port", "278"}, &out), 2);
    EXPECT_EQ(RunProgram({LPTWDMIO_PATH, "selftest", "--plug", "nonsense"}, &out), 2);
    out.clear();
    EXPECT_EQ(RunProgram({LPTWDMIO_PATH, "selftest", "--plug", "list"}, &out), 0);
    EXPECT_NE(out.find("  pin  2 D0        <->  pin 15 ERROR\n"), std::string::npos) << out;
    EXPECT_NE(out.find("checkit: "), std::string::npos) << out;

    std::string error;
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"serve", "--plug", "checkit"},
             {"serve", "--backend", "sim", "--plug", "nonsense"},
             {"serve", "--backend", "ppdev", "--sim-fault", "stuck-low=2"},
             {"serve", "--backend", "sim", "--sim-fault", "stuck-low=18"},
             {"serve", "--backend", "sim", "--sim-fault", "short=3,3"},
             {"read", "0x378", "--json"}}) {
        EXPECT_FALSE(ParseOptions(bad, error)) << bad[2];
    }
}
