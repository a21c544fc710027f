// Checking every line of a port through a loopback plug: each output driven
// high and low, alone and against its neighbours, read back where the port
// reads its own lines and at the input the plug loops it to. Which plug is
// fitted is found from the loops that answer when none is named. The port is
// left as it was found.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "agent/backends/Connector.h"
#include "agent/backends/LoopbackPlugs.h"

namespace agent {

// A port as the test sees it: whole registers, each call one exchange.
class TestPort {
public:
    virtual ~TestPort() = default;
    virtual int Write(std::uint8_t data, std::uint8_t control) = 0;  // 0 or errno
    virtual int Read(PortRegisters& registers) = 0;
};

struct LoopbackSetup {
    const PlugWiring* plug = nullptr;  // null: find which one is fitted
    // Through ppdev the control register reads back what was written, not the
    // lines; the control lines are then seen only at the inputs they loop to.
    bool controlReadsLines = true;
    std::function<bool()> stopRequested;  // checked between exchanges
};

enum class Verdict {
    Pass,
    StuckHigh,
    StuckLow,
    Shorted,   // to otherPin
    Follows,   // shows otherPin's level instead of its own loop's
    Wrong,     // wrong in `wrong` of the tests, in no pattern named here
    Unsteady,  // read differently in two runs of the same tests
    NoPlug,
    NotLooped,  // an input the plug leaves open
    NotTested,  // an output with no read-back and no loop
};

struct LineResult {
    int pin = 0;
    std::vector<int> loopedTo;  // under the wiring judged
    Verdict verdict = Verdict::NotTested;
    int otherPin = 0;
    int wrong = 0;
    bool readBackOnly = false;  // an output seen only at its own read-back
    int seenAt = 0;             // an output seen only at this input
    int notSeenAt = 0;          // an output good at its read-back that this input misses
};

bool Failed(Verdict v);
std::string VerdictText(const LineResult& line);

struct Ps2Check {
    bool done = false;
    std::uint8_t asOutput = 0;  // data read after writing 0x00, direction bit clear
    std::uint8_t asInput = 0;   // the same with the direction bit set
};

struct LoopbackResult {
    int error = 0;  // errno of the exchange that broke the test off
    bool interrupted = false;
    bool restored = false;
    const PlugWiring* plug = nullptr;  // the wiring the lines were judged against
    bool found = false;                // found from its loops, not named
    bool noPlug = false;
    int loopsAnswering = 0;                      // of plug->links
    const PlugWiring* alsoFits = nullptr;        // found: another wiring fits as well
    const PlugWiring* looksLike = nullptr;       // named: another wiring fits better
    std::vector<std::pair<int, int>> seenLoops;  // (output, input) whose level it follows
    std::vector<LineResult> lines;               // pins 1 to 17
    Ps2Check ps2;

    // 0 every line tested passes, 1 a line failed, 2 nothing could be judged.
    int ExitCode() const;
};

LoopbackResult RunLoopbackTest(TestPort& port, const LoopbackSetup& setup);

// The table and what it means, for a person.
std::string FormatLoopbackResult(const LoopbackResult& result, bool controlReadsLines);

}  // namespace agent
