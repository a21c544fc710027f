#include "agent/backends/DirectBackend.h"

#include <algorithm>
#include <cstdio>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#endif

namespace agent {
namespace {

class SystemPortIoImpl final : public PortIo {
public:
#if defined(__x86_64__) || defined(__i386__)
    int Permit(std::uint16_t from, unsigned count) override {
        return ::ioperm(from, count, 1) == 0 ? 0 : errno;
    }
    std::uint8_t In(std::uint16_t address) override {
        return ::inb(address);
    }
    void Out(std::uint16_t address, std::uint8_t value) override {
        ::outb(value, address);
    }
#else
    int Permit(std::uint16_t, unsigned) override {
        return ENOSYS;
    }
    std::uint8_t In(std::uint16_t) override {
        return 0xFF;
    }
    void Out(std::uint16_t, std::uint8_t) override {}
#endif
};

}  // namespace

PortIo& SystemPortIo() {
    static SystemPortIoImpl io;
    return io;
}

unsigned DirectWindow(std::uint16_t base) {
    return base == 0x3BC ? 4 : 8;
}

bool ControlRegisterAnswers(PortIo& io, std::uint16_t base) {
    const std::uint16_t control = static_cast<std::uint16_t>(base + 2);
    const std::uint8_t old = io.In(control);
    bool answers = true;
    for (std::uint8_t pattern : {std::uint8_t{0x0C}, std::uint8_t{0x0E}}) {
        io.Out(control, pattern);
        if ((io.In(control) & 0x0F) != pattern) {
            answers = false;
            break;
        }
    }
    io.Out(control, old);
    return answers;
}

unsigned DirectWindow(const PortAssignment& port) {
    return IsStandardBase(port.base) ? DirectWindow(port.base) : 3;
}

std::string SetEcrToPs2(PortIo& io, std::uint16_t ecrBase) {
    const std::uint16_t ecr = static_cast<std::uint16_t>(ecrBase + 2);
    const std::uint8_t value = io.In(ecr);
    const unsigned mode = value >> 5;
    if (value == 0xFF) {
        return "no ECR answers at " + Hex(ecr) + "; left alone";
    }
    if (mode <= 1) {
        return {};  // SPP or PS/2 already
    }
    static const char* const names[] = {"SPP", "PS/2",     "parallel FIFO", "ECP",
                                        "EPP", "reserved", "FIFO test",     "configuration"};
    // PS/2 mode with the error and service interrupts off, as the kernel sets it.
    io.Out(ecr, 0x34);
    return "ECR " + Hex(ecr) + " was " + Hex(value) + " (" + names[mode] +
           " mode), set to PS/2 mode";
}

DirectBackend::DirectBackend(PortIo& io, std::vector<PortAssignment> ports)
    : io_(io), ports_(std::move(ports)) {}

std::string DirectBackend::Describe() const {
    std::string text;
    for (const PortAssignment& p : ports_) {
        text += Hex(p.code) + " = " + Hex(p.base) + " (port instructions)\n";
    }
    return text;
}

bool DirectBackend::Serves(std::uint16_t base) const {
    return Find(base) != nullptr;
}

const PortAssignment* DirectBackend::Find(std::uint16_t address) const {
    const std::uint16_t code = BaseOf(address);
    for (const PortAssignment& p : ports_) {
        if (p.code == code) {
            return &p;
        }
    }
    return nullptr;
}

int DirectBackend::Check(std::uint16_t address, bool) const {
    const PortAssignment* p = Find(address);
    return p != nullptr && unsigned(address - p->code) >= DirectWindow(*p) ? EOPNOTSUPP : 0;
}

int DirectBackend::Read(std::uint16_t address, std::uint8_t& value) {
    if (int e = Check(address, false); e != 0) {
        return e;
    }
    // A code not served is never touched; it reads like an empty bus.
    const PortAssignment* p = Find(address);
    value = p != nullptr ? io_.In(static_cast<std::uint16_t>(p->base + (address - p->code))) : 0xFF;
    return 0;
}

int DirectBackend::Write(std::uint16_t address, std::uint8_t value) {
    if (int e = Check(address, true); e != 0) {
        return e;
    }
    if (const PortAssignment* p = Find(address)) {
        io_.Out(static_cast<std::uint16_t>(p->base + (address - p->code)), value);
    }
    return 0;
}

}  // namespace agent
