#include "agent/backends/PpdevBackend.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <unistd.h>

#include <utility>

#include "agent/backends/Connector.h"

namespace agent {
namespace {

void OnAlarm(int) {}

class SystemPpdevOps final : public PpdevOps {
public:
    int Open(const std::string& path, int& fd) override {
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        return fd < 0 ? errno : 0;
    }

    int Claim(int fd, int timeoutMs) override {
        // PPCLAIM sleeps interruptibly while another driver (lp) holds the port;
        // a one-shot timer signal without SA_RESTART bounds that sleep.
        struct sigaction action {};
        struct sigaction previous {};
        action.sa_handler = OnAlarm;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGALRM, &action, &previous);
        itimerval timer{};
        timer.it_value.tv_sec = timeoutMs / 1000;
        timer.it_value.tv_usec = (timeoutMs % 1000) * 1000;
        ::setitimer(ITIMER_REAL, &timer, nullptr);
        const int r = ::ioctl(fd, PPCLAIM);
        const int error = r == 0 ? 0 : errno;
        itimerval off{};
        ::setitimer(ITIMER_REAL, &off, nullptr);
        ::sigaction(SIGALRM, &previous, nullptr);
        return error == EINTR ? ETIMEDOUT : error;
    }

    int Probe(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            return errno;
        }
        ::close(fd);
        return 0;
    }

    void ReleaseAndClose(int fd) override {
        ::ioctl(fd, PPRELEASE);
        ::close(fd);
    }

    int SetDataReverse(int fd, bool reverse) override {
        int direction = reverse ? 1 : 0;
        return ::ioctl(fd, PPDATADIR, &direction) == 0 ? 0 : errno;
    }

    int Transfer(int fd, PpRegister reg, bool write, std::uint8_t& value) override {
        unsigned long request = 0;
        switch (reg) {
            case PpRegister::Data:
                request = write ? PPWDATA : PPRDATA;
                break;
            case PpRegister::Status:
                if (write) {
                    return 0;  // the status lines are inputs; a write changes nothing
                }
                request = PPRSTATUS;
                break;
            case PpRegister::Control:
                request = write ? PPWCONTROL : PPRCONTROL;
                break;
        }
        unsigned char byte = value;
        if (::ioctl(fd, request, &byte) != 0) {
            return errno;
        }
        value = byte;
        return 0;
    }
};

}  // namespace

PpdevOps& SystemPpdev() {
    static SystemPpdevOps ops;
    return ops;
}

PpdevBackend::PpdevBackend(PpdevOps& ops, std::vector<Claimed> ports)
    : ops_(ops), ports_(std::move(ports)) {}

PpdevBackend::~PpdevBackend() {
    for (const Claimed& c : ports_) {
        ops_.ReleaseAndClose(c.fd);
    }
}

std::string PpdevBackend::Describe() const {
    std::string text;
    for (const Claimed& c : ports_) {
        text += Hex(c.port.code) + " = " + c.port.device +
                (c.port.base != 0 ? " at " + Hex(c.port.base) : std::string()) + " (ppdev)\n";
    }
    return text;
}

const PpdevBackend::Claimed* PpdevBackend::Find(std::uint16_t address) const {
    const std::uint16_t code = BaseOf(address);
    for (const Claimed& c : ports_) {
        if (c.port.code == code) {
            return &c;
        }
    }
    return nullptr;
}

PpdevBackend::Claimed* PpdevBackend::Find(std::uint16_t address) {
    return const_cast<Claimed*>(std::as_const(*this).Find(address));
}

int PpdevBackend::Check(std::uint16_t address, bool) const {
    const Claimed* c = Find(address);
    // ppdev reaches only the three SPP registers of a port.
    return c != nullptr && address - c->port.code > 2 ? EOPNOTSUPP : 0;
}

int PpdevBackend::Read(std::uint16_t address, std::uint8_t& value) {
    const Claimed* c = Find(address);
    value = 0xFF;  // a base without a device reads like an empty bus
    if (c == nullptr) {
        return 0;
    }
    if (address - c->port.code > 2) {
        return EOPNOTSUPP;
    }
    static constexpr PpRegister regs[] = {PpRegister::Data, PpRegister::Status,
                                          PpRegister::Control};
    const int e = ops_.Transfer(c->fd, regs[address - c->port.code], false, value);
    if (e == 0 && address - c->port.code == 2 && c->reverse) {
        value |= ControlReverse;
    }
    return e;
}

int PpdevBackend::Write(std::uint16_t address, std::uint8_t value) {
    Claimed* c = Find(address);
    if (c == nullptr) {
        return 0;
    }
    if (address - c->port.code > 2) {
        return EOPNOTSUPP;
    }
    if (address - c->port.code == 2) {
        // The kernel's control write turns the data lines to input on bit 5
        // but never back: the direction goes through PPDATADIR instead.
        const bool reverse = (value & ControlReverse) != 0;
        if (reverse != c->reverse) {
            if (int e = ops_.SetDataReverse(c->fd, reverse); e != 0) {
                return e;
            }
            c->reverse = reverse;
        }
        value = static_cast<std::uint8_t>(value & ~ControlReverse);
    }
    static constexpr PpRegister regs[] = {PpRegister::Data, PpRegister::Status,
                                          PpRegister::Control};
    return ops_.Transfer(c->fd, regs[address - c->port.code], true, value);
}

}  // namespace agent
