// Ports through the kernel's ppdev driver (/dev/parportN), each served under the
// standard code it was assigned (agent/backends/PortMap.h).
#pragma once

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "agent/backends/Backend.h"
#include "agent/backends/PortMap.h"

namespace agent {

enum class PpRegister { Data, Status, Control };

// The ppdev calls, injectable so the selection logic runs without hardware.
class PpdevOps {
public:
    virtual ~PpdevOps() = default;
    virtual int Open(const std::string& path, int& fd) = 0;  // 0 or errno
    // PPCLAIM with a bounded wait: ETIMEDOUT while another driver holds the port.
    virtual int Claim(int fd, int timeoutMs) = 0;
    virtual void ReleaseAndClose(int fd) = 0;
    virtual int Transfer(int fd, PpRegister reg, bool write, std::uint8_t& value) = 0;
    // PPDATADIR: the data lines to input (reverse) or back to output.
    virtual int SetDataReverse(int /*fd*/, bool /*reverse*/) { return EOPNOTSUPP; }
    // Whether the device may be opened, without claiming the port: 0 or errno.
    virtual int Probe(const std::string& path) {
        int fd = -1;
        const int e = Open(path, fd);
        if (e == 0) {
            ReleaseAndClose(fd);
        }
        return e;
    }
};

// The real ioctls.
PpdevOps& SystemPpdev();

class PpdevBackend final : public Backend {
public:
    struct Claimed {
        PortAssignment port;  // served under port.code
        int fd;
        // The control register's direction bit, which the kernel keeps apart
        // from its copy of bits 0-3.
        bool reverse = false;
    };
    PpdevBackend(PpdevOps& ops, std::vector<Claimed> ports);
    ~PpdevBackend() override;

    std::string Describe() const override;
    int Check(std::uint16_t address, bool write) const override;
    bool Serves(std::uint16_t base) const override { return Find(base) != nullptr; }
    int Read(std::uint16_t address, std::uint8_t& value) override;
    int Write(std::uint16_t address, std::uint8_t value) override;

private:
    const Claimed* Find(std::uint16_t address) const;
    Claimed* Find(std::uint16_t address);

    PpdevOps& ops_;
    std::vector<Claimed> ports_;
};

}  // namespace agent
