// Which real port each of the three standard codes (0x378, 0x278, 0x3BC) is
// served from. Cards sit wherever their bus puts them (0xDC00, 0xE000 ...); the
// program knows only the standard bases, so such a card is served under a
// standard code that is still free, and the program finds it there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace agent {

// Below 0x100 lie the motherboard's own devices (DMA, interrupt and timer
// controllers, keyboard): never a parallel port, whatever a driver reports.
inline constexpr unsigned FirstPortIoAddress = 0x100;

// Whether port instructions may be given `count` addresses from `from`: none
// below FirstPortIoAddress and none past 0xFFFF. Checked on every value that
// reaches ioperm, whether the user or the kernel named it.
bool IsPortIoRange(unsigned from, unsigned count);

// One /proc/sys/dev/parport/parportN: what the kernel knows of a port.
struct KernelPort {
    unsigned number = 0;       // N
    std::string device;        // <devRoot>/parportN
    std::uint16_t base = 0;    // SPP registers; 0 for USB adapters (uss720, mos7715)
    std::uint16_t baseHi = 0;  // second field of base-addr, reported with or without an ECR
    std::string modes;         // "PCSPP,TRISTATE,EPP,ECP" as the kernel reports them
    // The ECR block (ECR at ecr + 2), or 0. The kernel reports ECP only for a port
    // whose ECR it found; without that, baseHi may be any other device's address.
    std::uint16_t ecr = 0;
    // Whether `base` is an I/O address at all. A port without one (a USB adapter)
    // is reached only through ppdev, never by port instructions.
    bool HasIoBase() const { return IsPortIoRange(base, 3); }
};

// Both fields of a base-addr file ("56320\t55424\n"); the second is 0 when absent.
std::optional<std::pair<unsigned, unsigned>> ParseBaseAddrFields(const std::string& content);

// Every parportN the kernel reports, by ascending N; unreadable entries are skipped.
std::vector<KernelPort> ReadKernelPorts(const std::string& procRoot, const std::string& devRoot);

struct PortAssignment {
    std::uint16_t code = 0;  // the standard base clients address
    std::string device;      // /dev/parportN through ppdev; empty for port instructions
    std::uint16_t base = 0;  // where the port really is; 0 when the kernel does not say
    std::uint16_t ecr = 0;   // ECR block base, 0 for none
};

struct CodePlan {
    std::vector<PortAssignment> served;  // in the order of `ports`
    std::vector<std::string> unserved;   // one line per port left out, saying why
};

bool IsStandardBase(unsigned base);

// The order in which ports at other bases take the codes still free.
inline constexpr std::uint16_t FreeCodeOrder[] = {0x378, 0x278, 0x3BC};

// Ports at a standard base keep their own code; ports at any other base take the
// codes still free, in the order 0x378, 0x278, 0x3BC, by ascending N.
CodePlan AssignCodes(const std::vector<KernelPort>& ports);

// One --map CODE=TARGET: TARGET is /dev/parportN, or a base in hex with an
// optional ",ecr=BASE" for port instructions.
struct MapRequest {
    std::uint16_t code = 0;
    int parport = -1;  // N of /dev/parportN, or -1 for a base
    std::uint16_t base = 0;
    std::optional<std::uint16_t> ecr;
};

std::optional<MapRequest> ParseMap(const std::string& text, std::string& error);

// A set of maps that can be served together: each code and each target once, and
// all of one kind. Empty when fine, else the message for the user.
std::string CheckMaps(const std::vector<MapRequest>& maps);

// A base for port instructions, checked before any ioperm. Port instructions are
// as good as root, so an agent with CAP_SYS_RAWIO run by a user reaches only
// standard bases and the ports the kernel itself reports, and an ECR only at the
// base the kernel reports for that port; root may name any base.
std::optional<PortAssignment> ResolveDirectMap(const MapRequest& map,
                                               const std::vector<KernelPort>& kernel, bool root,
                                               std::string& error);

std::string Hex(unsigned value);  // "0xDC00"

}  // namespace agent
