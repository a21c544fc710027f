// Ports through the processor's port instructions (ioperm + inb/outb, x86 only;
// needs CAP_SYS_RAWIO and is refused under kernel lockdown).
#pragma once

#include <vector>

#include "agent/backends/Backend.h"
#include "agent/backends/PortMap.h"

namespace agent {

// The port-instruction calls, injectable so the selection logic runs without hardware.
class PortIo {
public:
    virtual ~PortIo() = default;
    virtual int Permit(std::uint16_t from, unsigned count) = 0;  // 0 or errno
    virtual std::uint8_t In(std::uint16_t address) = 0;
    virtual void Out(std::uint16_t address, std::uint8_t value) = 0;
};

// ioperm/inb/outb; on other processors Permit fails with ENOSYS.
PortIo& SystemPortIo();

// Addresses of a base the direct path may touch. 0x3C0 and up belong to the VGA
// card, so the 0x3BC port gets only its own four.
unsigned DirectWindow(std::uint16_t base);

// Addresses of a served port the direct path may touch: a card at another base
// gets only its three SPP registers.
unsigned DirectWindow(const PortAssignment& port);

// A port whose ECR (at ecrBase + 2) selects a FIFO, ECP, EPP, test or
// configuration mode ignores SPP data writes; like the kernel when it claims a
// port, put it into PS/2 mode. Says what it found and did, or nothing.
std::string SetEcrToPs2(PortIo& io, std::uint16_t ecrBase);

// The kernel's own SPP check: control bits 0-3 read back what was written.
bool ControlRegisterAnswers(PortIo& io, std::uint16_t base);

class DirectBackend final : public Backend {
public:
    DirectBackend(PortIo& io, std::vector<PortAssignment> ports);

    std::string Describe() const override;
    int Check(std::uint16_t address, bool write) const override;
    bool Serves(std::uint16_t base) const override;
    int Read(std::uint16_t address, std::uint8_t& value) override;
    int Write(std::uint16_t address, std::uint8_t value) override;

private:
    const PortAssignment* Find(std::uint16_t address) const;

    PortIo& io_;
    std::vector<PortAssignment> ports_;
};

}  // namespace agent
