#include "agent/cli/PortList.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "agent/backends/PortAdvice.h"
#include "agent/cli/MachineScan.h"

namespace agent {
namespace {

constexpr unsigned ParallelClass = 0x0701;  // PCI class and subclass of a parallel controller
constexpr const char* KeepLpAway =
    "keep it from loading at boot: echo 'install lp /bin/true' | sudo tee "
    "/etc/modprobe.d/no-lp.conf";

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string Join(const std::vector<std::string>& items, const char* with) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : with) + item;
    }
    return text;
}

std::string Hex4(unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "%04x", v);
    return b;
}

// The drivers registered on a port: the entries of its devices folder.
bool LpAttached(const std::string& procRoot, const std::string& device) {
    const std::string name = device.substr(device.find_last_of('/') + 1);
    return !DevicesNamed(procRoot + "/sys/dev/parport/" + name + "/devices", "lp").empty();
}

// The printer driver: it claims the port for as long as a /dev/lpN is open or
// printing, and the print service keeps one open.
void LpFixes(const ListEnv& env, bool holding, ListEntry& e) {
    std::string why = std::string(holding ? "the printer driver lp holds the port now"
                                          : "the printer driver lp is attached") +
                      ": it takes the port whenever a /dev/lpN is open or printing (the print "
                      "service opens it)";
    const std::vector<std::string> lpOpen =
        ProgramsWithOpen(env.backend.procRoot, DevicesNamed(env.backend.devRoot, "lp"));
    if (!lpOpen.empty()) {
        why += "; /dev/lpN is open in " + Join(lpOpen, ", ");
    }
    e.fixes.push_back(why);
    e.fixes.push_back(
        "unload it now: sudo modprobe -r lp (if it is in use, first: sudo systemctl stop cups)");
    e.fixes.push_back(KeepLpAway);
}

void HolderFixes(const ListEnv& env, const std::string& active, ListEntry& e, bool& usable) {
    if (active.rfind("lp", 0) == 0) {
        e.line += "; held by " + active + ", the printer driver";
        usable = false;
        return;  // the lp lines say the rest
    }
    if (active.rfind("ppdev", 0) != 0) {
        e.line += "; held by " + active + ", another driver";
        e.fixes.push_back("unload it: sudo modprobe -r " + active.substr(0, active.find('.')) +
                          ", then list again");
        usable = false;
        return;
    }
    const std::vector<std::string> programs = ProgramsWithOpen(env.backend.procRoot, {e.subject});
    const auto agent = std::find_if(programs.begin(), programs.end(), [](const std::string& p) {
        return p.rfind("lptwdmio ", 0) == 0;
    });
    if (agent != programs.end()) {
        e.program = *agent;
        e.line += "; held by " + active + ": " + *agent + ", the agent";
        e.fixes.push_back(
            "the agent serves it: the program, lptwdmio read and selftest reach "
            "the port through it");
    } else if (!programs.empty()) {
        e.program = programs[0];
        e.line += "; held by " + active + ": " + programs[0];
        const std::string pid =
            programs[0].substr(programs[0].rfind("pid ") + 4, std::string::npos);
        e.fixes.push_back(programs[0] + " has the port: end it first (kill " +
                          pid.substr(0, pid.size() - 1) + "), then list again");
        usable = false;
    } else {
        // Another user's program stays hidden; most often it is a running agent.
        e.line += "; held by " + active + ", a program that opened the device";
        e.fixes.push_back(
            "if it is not a running lptwdmio (pidof lptwdmio), end that program first; sudo "
            "fuser -v " +
            e.subject + " names it");
    }
}

ListEntry PortEntry(const ListEnv& env, const KernelPort& k, const CodePlan& plan) {
    ListEntry e;
    e.kind = "port";
    e.subject = k.device;
    e.base = k.base;
    e.ecr = k.ecr;
    e.modes = k.modes;
    const std::string modes = k.modes.empty() ? std::string("unknown") : k.modes;
    if (!k.HasIoBase()) {
        e.line = k.device + ": no I/O base" +
                 (k.base == 0 ? std::string(" (a USB adapter)")
                              : " (the kernel reports " + Hex(k.base) + ")") +
                 ", modes " + modes;
        e.fixes.push_back(
            "a USB-parallel adapter (uss720, mos7715): usable through ppdev only, never by port "
            "instructions (--backend direct, --map CODE=BASE); every register access is a USB "
            "transfer, far slower than a port's");
    } else {
        e.line = k.device + ": base " + Hex(k.base) + ", " +
                 (k.ecr != 0 ? "ECR " + Hex(k.ecr) : std::string("no ECR")) + ", modes " + modes;
    }
    e.openError = env.backend.ppdev->Probe(k.device);
    if (e.openError == 0) {
        e.line += "; you may open it";
    } else {
        e.line += std::string("; cannot be opened: ") + std::strerror(e.openError);
        const std::string advice = OpenAdvice(k.device, e.openError);
        if (!advice.empty()) {
            e.fixes.push_back(advice.substr(2));  // after its "; "
        }
    }
    const std::string active = ActiveClaimant(env.backend.procRoot, k.device);
    bool usable = e.openError == 0;
    if (active.empty() || active == "none") {
        e.line += "; free";
    } else {
        e.holder = active;
        HolderFixes(env, active, e, usable);
    }
    if (LpAttached(env.backend.procRoot, k.device)) {
        LpFixes(env, active.rfind("lp", 0) == 0, e);
    }
    const auto served =
        std::find_if(plan.served.begin(), plan.served.end(),
                     [&k](const PortAssignment& a) { return a.device == k.device; });
    if (served == plan.served.end()) {
        e.line += "; not served: ";
        for (const std::string& why : plan.unserved) {
            if (why.rfind(k.device + " ", 0) == 0) {
                e.line += why.substr(why.find(": ") + 2);
            }
        }
        e.fixes.push_back("serve it by hand in place of another: lptwdmio serve --map 278=" +
                          k.device);
        usable = false;
    } else {
        e.servedAs = served->code;
        e.line += "; served as " + Hex(served->code);
    }
    e.usable = usable;
    return e;
}

bool HasPort(const PciFunction& f, const std::vector<KernelPort>& kernel) {
    return std::any_of(kernel.begin(), kernel.end(), [&f](const KernelPort& k) {
        return std::any_of(f.ioBars.begin(), f.ioBars.end(),
                           [&k](auto bar) { return k.base >= bar.first && k.base <= bar.second; });
    });
}

// The io= and io_hi= lists that keep the motherboard ports parport_pc has and
// add the card at its first I/O range, its ECR at the second.
std::string ParportPcAt(const PciFunction& f, const std::vector<KernelPort>& kernel) {
    std::string io, hi;
    for (const KernelPort& k : kernel) {
        if (IsStandardBase(k.base)) {
            io += Hex(k.base) + ",";
            hi += Hex(k.ecr) + ",";
        }
    }
    io += Hex(f.ioBars[0].first);
    hi += f.ioBars.size() > 1 ? Hex(f.ioBars[1].first) : "0";
    return "io=" + io + " io_hi=" + hi;
}

// A parallel controller (or a serial card parport_serial would serve) that the
// kernel made no parport of: the card, and the module that should take it.
void PciCards(const ListEnv& env, const std::vector<KernelPort>& kernel,
              std::vector<ListEntry>& entries) {
    const std::string modulesDir = env.modulesDir.empty() ? RunningModulesDir() : env.modulesDir;
    for (const PciFunction& f : ReadPciFunctions(env.sysRoot)) {
        if (f.classCode >> 16 != 0x07 || f.ioBars.empty() || HasPort(f, kernel)) {
            continue;
        }
        bool aliasesRead = false;
        const std::vector<std::string> modules = ModulesFor(f.modalias, modulesDir, aliasesRead);
        const bool serial =
            std::find(modules.begin(), modules.end(), "parport_serial") != modules.end();
        if (f.classCode >> 8 != ParallelClass && !serial) {
            continue;  // a serial card without a parallel port
        }
        const std::string id = Hex4(f.vendor) + ":" + Hex4(f.device);
        ListEntry e;
        e.kind = "pci-card";
        e.subject = f.address;
        e.line = "PCI " + f.address + ": a parallel-port card " + id + " at I/O " +
                 Hex(f.ioBars[0].first) + (f.driver.empty() ? "" : ", driver " + f.driver) +
                 "; the kernel made no parallel port of it";
        const std::string module = serial                             ? "parport_serial"
                                   : !modules.empty() || !aliasesRead ? "parport_pc"
                                                                      : "";
        if (!f.driver.empty() && f.driver == module) {
            e.fixes.push_back(module +
                              " has it but found no port: sudo dmesg | grep -i parport "
                              "says why");
        } else if (!f.driver.empty() && !module.empty()) {
            e.fixes.push_back(f.driver + " has it; " + module + " should: echo " + f.address +
                              " | sudo tee /sys/bus/pci/drivers/" + f.driver +
                              "/unbind; sudo modprobe " + module + "; echo " + f.address +
                              " | sudo tee /sys/bus/pci/drivers/" + module + "/bind");
        } else if (!module.empty()) {
            e.fixes.push_back(
                "load its driver: sudo modprobe " + module +
                (serial ? " (it serves the card's serial ports as well)"
                 : aliasesRead
                     ? ""
                     : " (a card with serial ports as well: sudo modprobe parport_serial)") +
                ", then list again");
        } else {
            e.fixes.push_back("the kernel knows no driver for " + id +
                              ": let parport_pc take it at its I/O ranges: sudo modprobe -r "
                              "parport_pc; sudo modprobe parport_pc " +
                              ParportPcAt(f, kernel) + " (then list again)");
        }
        entries.push_back(std::move(e));
    }
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", c);
            out += b;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string JsonNumberOrNull(unsigned v) {
    return v != 0 ? std::to_string(v) : "null";
}

std::string JsonStringOrNull(const std::string& s) {
    return s.empty() ? "null" : JsonString(s);
}

}  // namespace

PortListing ListPorts(const ListEnv& env) {
    PortListing listing;
    const std::vector<KernelPort> kernel =
        ReadKernelPorts(env.backend.procRoot, env.backend.devRoot);
    const CodePlan plan = AssignCodes(kernel);
    int usable = 0;
    for (const KernelPort& k : kernel) {
        listing.entries.push_back(PortEntry(env, k, plan));
        usable += listing.entries.back().usable ? 1 : 0;
    }
    PciCards(env, kernel, listing.entries);
    for (const std::string& usb : DevicesNamed(env.backend.devRoot + "/usb", "lp")) {
        listing.entries.push_back(
            {"usb-printer",
             usb,
             usb + ": a USB printer adapter; it carries printer data, not single pins, so it "
                   "cannot be driven",
             {"for single lines use a motherboard port, a PCI or PCIe card, or a USB-parallel "
              "adapter the kernel makes a /dev/parportN of (uss720)"}});
    }
    const std::string machine = env.machine.empty() ? MachineName() : env.machine;
    const bool devPort = Exists(env.backend.devRoot + "/port");
    if (!IsX86(machine) || !devPort) {
        ListEntry e{"machine", "this machine", "", {}};
        e.line = !IsX86(machine) ? "This machine (" + machine +
                                       ") has no port instructions; a port is reached through "
                                       "ppdev only"
                                 : "This machine has no " + env.backend.devRoot +
                                       "/port: it gives programs no port I/O (a container, or a "
                                       "kernel without it); a port is reached through ppdev only";
        e.fixes.push_back(std::string("--backend direct and --map CODE=BASE ") +
                          (IsX86(machine) ? "will most likely be refused" : "cannot work") +
                          " here; a USB-parallel adapter, or a card whose driver gives it a "
                          "/dev/parportN, still works through ppdev");
        listing.entries.push_back(std::move(e));
    }
    listing.summary =
        kernel.empty()
            ? "No parallel port: the kernel reports none (" + env.backend.procRoot +
                  "/sys/dev/parport). Load its drivers: sudo modprobe parport_pc ppdev (a PCI card "
                  "that also has serial ports needs parport_serial as well), then list again."
            : std::to_string(usable) + " of " + std::to_string(kernel.size()) +
                  (kernel.size() == 1 ? " port" : " ports") + " usable now.";
    for (const ListEntry& e : listing.entries) {
        listing.text += e.line + "\n";
        for (const std::string& fix : e.fixes) {
            listing.text += "    " + fix + "\n";
        }
    }
    listing.text += listing.summary + "\n";
    listing.usable = usable > 0;
    return listing;
}

std::string ListingJson(const PortListing& listing) {
    std::string ports, other;
    for (const ListEntry& e : listing.entries) {
        std::string fixes;
        for (const std::string& f : e.fixes) {
            fixes += (fixes.empty() ? "" : ", ") + JsonString(f);
        }
        std::string item = "{\"kind\": " + JsonString(e.kind) +
                           ", \"subject\": " + JsonString(e.subject) +
                           ", \"line\": " + JsonString(e.line) + ", \"fixes\": [" + fixes + "]";
        if (e.kind == "port") {
            item += ", \"base\": " + std::to_string(e.base) +
                    ", \"ecr\": " + JsonNumberOrNull(e.ecr) +
                    ", \"modes\": " + JsonString(e.modes) + ", \"openError\": " +
                    JsonStringOrNull(e.openError != 0 ? std::strerror(e.openError) : "") +
                    ", \"holder\": " + JsonStringOrNull(e.holder) +
                    ", \"program\": " + JsonStringOrNull(e.program) +
                    ", \"servedAs\": " + JsonNumberOrNull(e.servedAs) +
                    ", \"usable\": " + (e.usable ? "true" : "false");
        }
        std::string& list = e.kind == "port" ? ports : other;
        list += std::string(list.empty() ? "\n    " : ",\n    ") + item + "}";
    }
    const int usable =
        static_cast<int>(std::count_if(listing.entries.begin(), listing.entries.end(),
                                       [](const ListEntry& e) { return e.usable; }));
    return "{\n  \"ports\": [" + ports + (ports.empty() ? "" : "\n  ") + "],\n  \"other\": [" +
           other + (other.empty() ? "" : "\n  ") + "],\n  \"usable\": " + std::to_string(usable) +
           ",\n  \"summary\": " + JsonString(listing.summary) + "\n}\n";
}

}  // namespace agent
