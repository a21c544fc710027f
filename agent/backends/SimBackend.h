// Simulated ports for tests and for machines without a port. A present port
// latches data and control bits 0-5 (6-7 read as 1) and has a client-settable
// status register; an absent one reads 0xFF and ignores writes like an empty bus.
// A loopback plug and injected faults shape what its lines read (SimLines).
#pragma once

#include <array>
#include <vector>

#include "agent/backends/Backend.h"
#include "agent/backends/SimLines.h"

namespace agent {

class SimBackend final : public Backend {
public:
    // loopback fits the plug "norton" (status wired to data).
    SimBackend(const std::vector<std::uint16_t>& presentBases, bool loopback);
    SimBackend(const std::vector<std::uint16_t>& presentBases, const PlugWiring* plug,
               std::vector<SimFault> faults);

    std::string Describe() const override;
    int Check(std::uint16_t address, bool write) const override;
    bool Serves(std::uint16_t base) const override { return CheckStatus(base) == 0; }
    int Read(std::uint16_t address, std::uint8_t& value) override;
    int Write(std::uint16_t address, std::uint8_t value) override;
    int CheckStatus(std::uint16_t base) const override;
    int SetStatus(std::uint16_t base, std::uint8_t value) override;

private:
    struct Port {
        std::uint16_t base = 0;
        bool present = false;
        std::uint8_t data = 0x00;
        std::uint8_t control = 0x0C;
        std::uint8_t status = 0x7F;  // nothing attached: inputs pulled high
    };
    Port* Find(std::uint16_t address);

    std::array<Port, 3> ports_;
    SimLines lines_;
};

}  // namespace agent
