// Ports through the kernel's ppdev driver (/dev/parportN). The device for a base
// is found from /proc/sys/dev/parport/parportN/base-addr, never assumed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "agent/Backend.h"

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
};

// The real ioctls.
PpdevOps& SystemPpdev();

struct ParportDevice {
    std::string device;  // /dev/parportN
    std::uint16_t base;
};

// The first field of a base-addr file ("888\t1912\n"), decimal.
std::optional<unsigned> ParseBaseAddr(const std::string& content);

// parportN devices whose base is a standard one, in N order, one per base.
std::vector<ParportDevice> FindStandardParports(const std::string& procRoot,
                                                const std::string& devRoot);

class PpdevBackend final : public Backend {
public:
    struct Claimed {
        ParportDevice port;
        int fd;
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

    PpdevOps& ops_;
    std::vector<Claimed> ports_;
};

}  // namespace agent
