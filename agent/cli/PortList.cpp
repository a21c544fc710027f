#include "agent/cli/PortList.h"

#include <dirent.h>

#include <algorithm>
#include <cstring>

#include "agent/backends/PortAdvice.h"

namespace agent {
namespace {

std::vector<std::string> UsbPrinters(const std::string& devRoot) {
    std::vector<std::string> found;
    if (DIR* d = ::opendir((devRoot + "/usb").c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (std::strncmp(e->d_name, "lp", 2) == 0) {
                found.push_back(devRoot + "/usb/" + e->d_name);
            }
        }
        ::closedir(d);
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

PortListing ListPorts(const BackendEnv& env) {
    PortListing listing;
    const std::vector<KernelPort> kernel = ReadKernelPorts(env.procRoot, env.devRoot);
    const CodePlan plan = AssignCodes(kernel);
    int usable = 0;
    for (const KernelPort& k : kernel) {
        std::string line = k.device + ": base " + Hex(k.base) + ", " +
                           (k.ecr != 0 ? "ECR " + Hex(k.ecr) : std::string("no ECR")) + ", modes " +
                           (k.modes.empty() ? std::string("unknown") : k.modes);
        const int error = env.ppdev->Probe(k.device);
        line += error == 0 ? "; you may open it"
                           : std::string("; cannot be opened: ") + std::strerror(error) +
                                 OpenAdvice(k.device, error);
        const std::string active = ActiveClaimant(env.procRoot, k.device);
        const bool free = active.empty() || active == "none";
        const bool ours = active.rfind("ppdev", 0) == 0;
        line += free ? "; free" : "; held by " + HolderAdvice(active);
        const auto served =
            std::find_if(plan.served.begin(), plan.served.end(),
                         [&k](const PortAssignment& a) { return a.device == k.device; });
        if (served == plan.served.end()) {
            line += "; not served: ";
            for (const std::string& why : plan.unserved) {
                if (why.rfind(k.device + " ", 0) == 0) {
                    line += why.substr(why.find(": ") + 2);
                }
            }
        } else {
            line += "; served as " + Hex(served->code);
            usable += error == 0 && (free || ours) ? 1 : 0;
        }
        listing.text += line + "\n";
    }
    for (const std::string& usb : UsbPrinters(env.devRoot)) {
        listing.text += usb +
                        ": a USB printer adapter; it carries printer data, not single pins, so "
                        "it cannot be driven\n";
    }
    if (kernel.empty()) {
        listing.text +=
            "No parallel port: the kernel reports none (" + env.procRoot +
            "/sys/dev/parport). Load its drivers: sudo modprobe parport_pc ppdev (a PCI card "
            "that also has serial ports needs parport_serial as well), then list again.\n";
    } else {
        listing.text += std::to_string(usable) + " of " + std::to_string(kernel.size()) +
                        (kernel.size() == 1 ? " port" : " ports") + " usable now.\n";
    }
    listing.usable = usable > 0;
    return listing;
}

}  // namespace agent
