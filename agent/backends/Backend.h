// A means of reaching the parallel-port registers. The agent only ever hands a
// backend one of the 24 addresses that port codes decode to.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>

namespace agent {

inline constexpr std::uint16_t StandardBases[] = {0x3BC, 0x378, 0x278};

// The standard base an address belongs to (base .. base + 7), or 0.
std::uint16_t BaseOf(std::uint16_t address);

class Backend {
public:
    virtual ~Backend() = default;
    virtual std::string Describe() const = 0;
    // 0 when the access may be made, else the errno the whole batch is refused with.
    virtual int Check(std::uint16_t address, bool write) const = 0;
    // Whether the port at this standard base is reached; others read like an empty bus.
    virtual bool Serves(std::uint16_t base) const = 0;
    virtual int Read(std::uint16_t address, std::uint8_t& value) = 0;
    virtual int Write(std::uint16_t address, std::uint8_t value) = 0;
    // Only a simulated port has a status register a client may set. CheckStatus
    // answers as SetStatus would, without setting, so a batch is refused whole.
    virtual int CheckStatus(std::uint16_t /*base*/) const { return EOPNOTSUPP; }
    virtual int SetStatus(std::uint16_t /*base*/, std::uint8_t /*value*/) { return EOPNOTSUPP; }
};

}  // namespace agent
