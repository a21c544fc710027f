// kernel_probe: the helper the real-kernel stage runs inside its QEMU guest.
// It looks at the emulated hardware with port instructions, past the agent and
// the kernel, talks to the agent over one connection, and times one register
// read through ppdev against one through the agent.
//
//   kernel_probe now                          monotonic time in ms
//   kernel_probe in ADDR                      one port instruction, printed as 0xNN
//   kernel_probe via SOCKET OP...             OP: in:ADDR out:ADDR:VAL (port
//                                             instructions), r:ADDR w:ADDR:VAL (agent)
//   kernel_probe bench-ioctl DEV CALLS ROUNDS PPRDATA on a claimed /dev/parportN
//   kernel_probe bench-agent SOCKET ADDR CALLS ROUNDS
//   kernel_probe as UID GROUPS [--rawio] CMD ARGS...
//                                             runs CMD as UID with exactly GROUPS ("1000,7";
//                                             the first is the primary); --rawio keeps
//                                             CAP_SYS_RAWIO, as a setcap'd agent has it
#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <linux/ppdev.h>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "port/AgentClient.h"
#include "port/LPTIO.h"

namespace {

long long NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

unsigned Hex(const std::string& text) {
    return static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 16));
}

// The port code of an address at a standard base; the agent's protocol speaks codes.
std::uint8_t CodeOf(unsigned address) {
    for (std::uint8_t port : {PortCode3BC, PortCode378, PortCode278}) {
        const unsigned base = PortCodeAddress(port);
        if (address >= base && address < base + 8) {
            return static_cast<std::uint8_t>(port | (address - base));
        }
    }
    std::fprintf(stderr, "kernel_probe: 0x%X is no standard port address\n", address);
    std::exit(1);
}

std::uint8_t In(unsigned address) {
    if (ioperm(address, 1, 1) != 0) {
        std::perror("kernel_probe: ioperm");
        std::exit(1);
    }
    return inb(static_cast<unsigned short>(address));
}

void Out(unsigned address, unsigned value) {
    if (ioperm(address, 1, 1) != 0) {
        std::perror("kernel_probe: ioperm");
        std::exit(1);
    }
    outb(static_cast<unsigned char>(value), static_cast<unsigned short>(address));
}

int Via(const std::string& socket, int argc, char** argv) {
    port::agent::AgentClient client;
    if (int e = client.Open(socket); e != 0) {
        std::printf("no agent on %s: %s\n", socket.c_str(), std::strerror(e));
        return 2;
    }
    for (int i = 0; i < argc; ++i) {
        const std::string op = argv[i];
        const std::size_t c1 = op.find(':');
        const std::size_t c2 = op.find(':', c1 + 1);
        const std::string kind = op.substr(0, c1);
        const unsigned address = Hex(op.substr(c1 + 1, c2 - c1 - 1));
        const unsigned value = c2 == std::string::npos ? 0 : Hex(op.substr(c2 + 1));
        if (kind == "in") {
            std::printf("in 0x%X = 0x%02X\n", address, In(address));
        } else if (kind == "out") {
            Out(address, value);
            std::printf("out 0x%X := 0x%02X\n", address, value);
        } else {
            std::uint8_t pair[2] = {CodeOf(address), static_cast<std::uint8_t>(value)};
            const bool write = kind == "w";
            const int e =
                client.Exchange(write ? port::agent::CodeWrite : port::agent::CodeRead, pair, 1);
            if (e != 0) {
                std::printf("%s 0x%X failed: %s\n", kind.c_str(), address, std::strerror(e));
                return 2;
            }
            std::printf(write ? "w 0x%X := 0x%02X\n" : "r 0x%X = 0x%02X\n", address, pair[1]);
        }
    }
    return 0;
}

// Rounds of `calls` operations; prints ns per call of each round and their median.
template <typename Call>
void Bench(const char* what, long calls, int rounds, Call call) {
    std::vector<double> perCall;
    for (int r = 0; r < rounds; ++r) {
        const long long start = NowNs();
        for (long i = 0; i < calls; ++i) {
            call();
        }
        perCall.push_back(double(NowNs() - start) / double(calls));
    }
    std::printf("%s: rounds of %ld reads, ns per read:", what, calls);
    for (double v : perCall) {
        std::printf(" %.0f", v);
    }
    std::sort(perCall.begin(), perCall.end());
    std::printf("; median %.0f\n", perCall[perCall.size() / 2]);
}

int BenchIoctl(const std::string& device, long calls, int rounds) {
    const int fd = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 || ::ioctl(fd, PPCLAIM) != 0) {
        std::perror("kernel_probe: open/PPCLAIM");
        return 2;
    }
    Bench("raw PPRDATA ioctl", calls, rounds, [fd] {
        unsigned char byte = 0;
        if (::ioctl(fd, PPRDATA, &byte) != 0) {
            std::perror("kernel_probe: PPRDATA");
            std::exit(2);
        }
    });
    ::ioctl(fd, PPRELEASE);
    ::close(fd);
    return 0;
}

int BenchAgent(const std::string& socket, unsigned address, long calls, int rounds) {
    port::agent::AgentClient client;
    if (int e = client.Open(socket); e != 0) {
        std::printf("no agent on %s: %s\n", socket.c_str(), std::strerror(e));
        return 2;
    }
    const std::uint8_t code = CodeOf(address);
    Bench("read through the agent", calls, rounds, [&] {
        std::uint8_t pair[2] = {code, 0};
        if (client.Exchange(port::agent::CodeRead, pair, 1) != 0) {
            std::fprintf(stderr, "kernel_probe: agent read failed\n");
            std::exit(2);
        }
    });
    return 0;
}

// CAP_SYS_RAWIO alone, permitted, effective, inheritable and ambient, so it
// survives the exec like a file capability.
bool KeepRawIo() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    data[0].permitted = data[0].effective = data[0].inheritable = 1u << CAP_SYS_RAWIO;
    return ::syscall(SYS_capset, &header, data) == 0 &&
           ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, CAP_SYS_RAWIO, 0, 0) == 0;
}

int As(uid_t uid, const std::string& groupList, char** argv) {
    const bool rawio = std::string(argv[0]) == "--rawio";
    argv += rawio ? 1 : 0;
    std::vector<gid_t> groups;
    for (std::size_t at = 0; at <= groupList.size();) {
        const std::size_t comma = groupList.find(',', at);
        groups.push_back(static_cast<gid_t>(std::stoul(groupList.substr(at, comma - at))));
        at = comma == std::string::npos ? groupList.size() + 1 : comma + 1;
    }
    if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(groups[0]) != 0 ||
        (rawio && ::prctl(PR_SET_KEEPCAPS, 1, 0, 0, 0) != 0) || ::setuid(uid) != 0 ||
        (rawio && !KeepRawIo())) {
        std::perror("kernel_probe: as");
        return 1;
    }
    ::execvp(argv[0], argv);
    std::perror("kernel_probe: exec");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "now" && argc == 2) {
        std::printf("%lld\n", NowNs() / 1000000);
        return 0;
    }
    if (command == "in" && argc == 3) {
        std::printf("0x%02X\n", In(Hex(argv[2])));
        return 0;
    }
    if (command == "via" && argc >= 4) {
        return Via(argv[2], argc - 3, argv + 3);
    }
    if (command == "bench-ioctl" && argc == 5) {
        return BenchIoctl(argv[2], std::atol(argv[3]), std::atoi(argv[4]));
    }
    if (command == "bench-agent" && argc == 6) {
        return BenchAgent(argv[2], Hex(argv[3]), std::atol(argv[4]), std::atoi(argv[5]));
    }
    if (command == "as" && argc >= 5) {
        return As(static_cast<uid_t>(std::atoi(argv[2])), argv[3], argv + 4);
    }
    std::fprintf(
        stderr,
        "usage: kernel_probe now | in ADDR | via SOCKET OP... | bench-ioctl DEV CALLS ROUNDS | "
        "bench-agent SOCKET ADDR CALLS ROUNDS | as UID GROUPS [--rawio] CMD...\n");
    return 1;
}
