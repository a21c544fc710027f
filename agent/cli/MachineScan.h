// What `lptwdmio list` reads about the machine beyond the kernel's parport
// entries: PCI functions from sysfs, the kernel's module aliases, which
// programs have a device open, and whether there is port I/O at all. Every
// root is a parameter, so a test can fake the whole tree.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace agent {

struct PciFunction {
    std::string address;  // "0000:03:00.0"
    unsigned vendor = 0, device = 0;
    unsigned classCode = 0;  // 0x070100: a parallel controller
    std::string driver;      // the bound driver, or empty
    std::string modalias;
    std::vector<std::pair<unsigned, unsigned>> ioBars;  // first and last address, by BAR
};

// Every function under <sysRoot>/bus/pci/devices.
std::vector<PciFunction> ReadPciFunctions(const std::string& sysRoot);

// The modules whose alias in <modulesDir>/modules.alias matches the modalias.
// readable says whether the alias file could be read at all.
std::vector<std::string> ModulesFor(const std::string& modalias, const std::string& modulesDir,
                                    bool& readable);

// /lib/modules/<release> of the running kernel.
std::string RunningModulesDir();

// "cupsd (pid 812)" for every process with one of the paths open, as far as
// this user may look (another user's processes stay hidden unless root).
std::vector<std::string> ProgramsWithOpen(const std::string& procRoot,
                                          const std::vector<std::string>& paths);

// The device paths in a folder whose names start with the prefix, sorted.
std::vector<std::string> DevicesNamed(const std::string& folder, const std::string& prefix);

bool IsX86(const std::string& machine);
std::string MachineName();  // uname -m

}  // namespace agent
