// What a user with hardware needs to know about the ports, without claiming any
// (`lptwdmio list`): one line per port, then what stands in the way of it and
// the exact fix, and the same for hardware that has no port yet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "agent/backends/BackendSelect.h"

namespace agent {

// Where list looks; tests point every root at a faked tree.
struct ListEnv {
    ListEnv() = default;
    ListEnv(BackendEnv b) : backend(std::move(b)) {}  // the other roots as on this machine
    BackendEnv backend;                               // /proc, /dev and the ppdev probe
    std::string sysRoot = "/sys";  // PCI functions under <sysRoot>/bus/pci/devices
    std::string modulesDir;        // modules.alias; empty: the running kernel's
    std::string machine;           // uname -m; empty: this machine's
};

struct ListEntry {
    std::string kind;     // "port", "pci-card", "usb-printer" or "machine"
    std::string subject;  // "/dev/parport0", "0000:03:00.0", "/dev/usb/lp0", "this machine"
    std::string line;     // what it is and how it stands, one line
    std::vector<std::string> fixes;  // what to do, one line each
    // Ports only.
    std::uint16_t base = 0, ecr = 0;
    std::string modes{};
    int openError = 0;
    std::string holder{};   // the kernel's name of who claims it, empty when free
    std::string program{};  // "cupsd (pid 812)" when known
    std::uint16_t servedAs = 0;
    bool usable = false;
};

struct PortListing {
    std::vector<ListEntry> entries;
    std::string summary;  // "1 of 2 ports usable now." or why there is none
    std::string text;     // each entry's line, its fixes indented under it, the summary
    bool usable = false;  // at least one port the agent can serve now
};

PortListing ListPorts(const ListEnv& env);

// The listing for scripts: {"ports": [...], "other": [...], "usable": N, "summary": "..."}.
std::string ListingJson(const PortListing& listing);

}  // namespace agent
