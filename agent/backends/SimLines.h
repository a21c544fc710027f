// The lines of a simulated port as a loopback plug and injected faults make
// them: the plug joins an output pin to an input pin, a fault holds a line at
// one level or joins two lines, and the data lines turn to input while the
// direction bit is set. Joined lines read low when any output on them drives
// low (TTL: low wins), high otherwise. Faults are a test facility of the sim
// backend only; no real backend knows of them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/backends/Connector.h"
#include "agent/backends/LoopbackPlugs.h"

namespace agent {

struct SimFault {
    enum class Kind { StuckLow, StuckHigh, Short, OutputOnly };
    Kind kind = Kind::StuckLow;
    int pin = 0;
    int other = 0;  // the second pin of a short
};

// "stuck-low=PIN", "stuck-high=PIN", "short=PIN,PIN" (signal pins 1-17), or
// "output-only" (the data lines never turn to input).
std::optional<SimFault> ParseSimFault(const std::string& text, std::string& error);
std::string SimFaultText(const SimFault& fault);

class SimLines {
public:
    // plug may be null: nothing fitted.
    SimLines(const PlugWiring* plug, std::vector<SimFault> faults);

    // The registers as a read finds them, from the data and control latches and
    // the status an outside device (set-status) drives where nothing else does.
    PortRegisters Read(std::uint8_t data, std::uint8_t control, std::uint8_t status) const;

    // "loopback plug norton; faults: short=2,3", or empty for a bare port.
    std::string Describe() const;

private:
    int NetOf(int pin) const;

    const PlugWiring* plug_;
    std::vector<SimFault> faults_;
    std::array<int, 18> net_{};      // per pin, the lowest pin it is joined to
    std::array<bool, 18> joined_{};  // joined to another pin, or held by a fault
    bool outputOnly_ = false;
};

}  // namespace agent
