#include "agent/PpdevBackend.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

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

    void ReleaseAndClose(int fd) override {
        ::ioctl(fd, PPRELEASE);
        ::close(fd);
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

bool IsStandardBase(unsigned base) {
    return std::find(std::begin(StandardBases), std::end(StandardBases), base) !=
           std::end(StandardBases);
}

}  // namespace

PpdevOps& SystemPpdev() {
    static SystemPpdevOps ops;
    return ops;
}

std::optional<unsigned> ParseBaseAddr(const std::string& content) {
    const std::size_t end = content.find_first_of("\t \n");
    const std::string field = content.substr(0, end);
    if (field.empty() || field.size() > 6 ||
        !std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const unsigned value = static_cast<unsigned>(std::stoul(field));
    if (value > 0xFFFF) {
        return std::nullopt;
    }
    return value;
}

std::vector<ParportDevice> FindStandardParports(const std::string& procRoot,
                                                const std::string& devRoot) {
    std::vector<std::pair<unsigned long, std::uint16_t>> found;
    const std::string dir = procRoot + "/sys/dev/parport";
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() <= 7 || name.compare(0, 7, "parport") != 0 || name.size() > 12 ||
                !std::all_of(name.begin() + 7, name.end(),
                             [](char c) { return c >= '0' && c <= '9'; })) {
                continue;  // "default" and anything else that is not a port
            }
            std::ifstream in(dir + "/" + name + "/base-addr");
            std::stringstream content;
            content << in.rdbuf();
            const auto base = ParseBaseAddr(content.str());
            if (base && IsStandardBase(*base)) {
                found.emplace_back(std::stoul(name.substr(7)), *base);
            }
        }
        ::closedir(d);
    }
    std::sort(found.begin(), found.end());
    std::vector<ParportDevice> result;
    for (const auto& [number, base] : found) {
        // Captured through a copy: clang 14 cannot capture a structured binding.
        const bool taken = std::any_of(result.begin(), result.end(),
                                       [b = base](const ParportDevice& p) { return p.base == b; });
        if (!taken) {
            result.push_back({devRoot + "/parport" + std::to_string(number), base});
        }
    }
    return result;
}

PpdevBackend::PpdevBackend(PpdevOps& ops, std::vector<Claimed> ports)
    : ops_(ops), ports_(std::move(ports)) {}

PpdevBackend::~PpdevBackend() {
    for (const Claimed& c : ports_) {
        ops_.ReleaseAndClose(c.fd);
    }
}

std::string PpdevBackend::Describe() const {
    std::string text = "ppdev (";
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        char b[16];
        std::snprintf(b, sizeof b, " = 0x%X", ports_[i].port.base);
        text += (i ? ", " : "") + ports_[i].port.device + b;
    }
    return text + ")";
}

const PpdevBackend::Claimed* PpdevBackend::Find(std::uint16_t address) const {
    const std::uint16_t base = BaseOf(address);
    for (const Claimed& c : ports_) {
        if (c.port.base == base) {
            return &c;
        }
    }
    return nullptr;
}

int PpdevBackend::Check(std::uint16_t address, bool) const {
    const Claimed* c = Find(address);
    // ppdev reaches only the three SPP registers of a port.
    return c != nullptr && address - c->port.base > 2 ? EOPNOTSUPP : 0;
}

int PpdevBackend::Read(std::uint16_t address, std::uint8_t& value) {
    const Claimed* c = Find(address);
    value = 0xFF;  // a base without a device reads like an empty bus
    if (c == nullptr) {
        return 0;
    }
    if (address - c->port.base > 2) {
        return EOPNOTSUPP;
    }
    static constexpr PpRegister regs[] = {PpRegister::Data, PpRegister::Status,
                                          PpRegister::Control};
    return ops_.Transfer(c->fd, regs[address - c->port.base], false, value);
}

int PpdevBackend::Write(std::uint16_t address, std::uint8_t value) {
    const Claimed* c = Find(address);
    if (c == nullptr) {
        return 0;
    }
    if (address - c->port.base > 2) {
        return EOPNOTSUPP;
    }
    static constexpr PpRegister regs[] = {PpRegister::Data, PpRegister::Status,
                                          PpRegister::Control};
    return ops_.Transfer(c->fd, regs[address - c->port.base], true, value);
}

}  // namespace agent
