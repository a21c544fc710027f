#include "agent/DirectBackend.h"

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

DirectBackend::DirectBackend(PortIo& io, std::vector<std::uint16_t> bases)
    : io_(io), bases_(std::move(bases)) {}

std::string DirectBackend::Describe() const {
    std::string text = "direct (port instructions:";
    for (std::uint16_t base : bases_) {
        char b[8];
        std::snprintf(b, sizeof b, " 0x%X", base);
        text += b;
    }
    return text + ")";
}

bool DirectBackend::Serves(std::uint16_t base) const {
    return std::find(bases_.begin(), bases_.end(), base) != bases_.end();
}

int DirectBackend::Check(std::uint16_t address, bool) const {
    const std::uint16_t base = BaseOf(address);
    return Serves(base) && unsigned(address - base) >= DirectWindow(base) ? EOPNOTSUPP : 0;
}

int DirectBackend::Read(std::uint16_t address, std::uint8_t& value) {
    if (int e = Check(address, false); e != 0) {
        return e;
    }
    // A base not served is never touched; it reads like an empty bus.
    value = Serves(BaseOf(address)) ? io_.In(address) : 0xFF;
    return 0;
}

int DirectBackend::Write(std::uint16_t address, std::uint8_t value) {
    if (int e = Check(address, true); e != 0) {
        return e;
    }
    if (Serves(BaseOf(address))) {
        io_.Out(address, value);
    }
    return 0;
}

}  // namespace agent
