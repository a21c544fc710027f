#include "agent/backends/BackendSelect.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "agent/backends/PortAdvice.h"
#include "agent/backends/SimBackend.h"

namespace agent {
namespace {

std::vector<std::uint16_t> Wanted(const BackendConfig& config) {
    if (!config.ports.empty()) {
        return config.ports;
    }
    if (config.kind == BackendKind::Sim) {
        return {0x378};
    }
    return {std::begin(StandardBases), std::end(StandardBases)};
}

bool Contains(const std::vector<std::uint16_t>& list, std::uint16_t v) {
    return std::find(list.begin(), list.end(), v) != list.end();
}

std::vector<PortAssignment> OnlyWanted(std::vector<PortAssignment> ports,
                                       const BackendConfig& config) {
    const std::vector<std::uint16_t> wanted = Wanted(config);
    ports.erase(std::remove_if(ports.begin(), ports.end(),
                               [&](const PortAssignment& p) { return !Contains(wanted, p.code); }),
                ports.end());
    return ports;
}

const KernelPort* KernelPortNumbered(const std::vector<KernelPort>& kernel, unsigned n) {
    for (const KernelPort& p : kernel) {
        if (p.number == n) {
            return &p;
        }
    }
    return nullptr;
}

std::vector<PortAssignment> PpdevPlan(const BackendConfig& config,
                                      const std::vector<KernelPort>& kernel, const BackendEnv& env,
                                      std::string& report) {
    std::vector<PortAssignment> ports;
    if (!config.maps.empty()) {
        for (const MapRequest& m : config.maps) {
            PortAssignment a{m.code, env.devRoot + "/parport" + std::to_string(m.parport), 0, 0};
            if (const KernelPort* k = KernelPortNumbered(kernel, unsigned(m.parport))) {
                a.base = k->base;
                a.ecr = k->ecr;
            }
            ports.push_back(a);
        }
        return ports;
    }
    CodePlan plan = AssignCodes(kernel);
    for (const std::string& line : plan.unserved) {
        report += "ppdev: not served: " + line + "\n";
    }
    if (kernel.empty()) {
        report += "ppdev: no /dev/parportN to serve: the kernel reports no parallel port (" +
                  env.procRoot + "/sys/dev/parport); load its drivers: modprobe parport_pc ppdev\n";
    } else if ((ports = OnlyWanted(plan.served, config)).empty()) {
        report += "ppdev: no port is assigned to the codes asked for (--ports)\n";
    }
    return ports;
}

std::unique_ptr<Backend> OpenPpdev(const std::vector<PortAssignment>& ports, const BackendEnv& env,
                                   std::string& report) {
    std::vector<PpdevBackend::Claimed> claimed;
    for (const PortAssignment& port : ports) {
        const std::string what = "ppdev: " + port.device +
                                 (port.base != 0 ? " (" + Hex(port.base) + ")" : std::string()) +
                                 ": ";
        int fd = -1;
        if (int e = env.ppdev->Open(port.device, fd); e != 0) {
            report += what + "cannot open: " + std::strerror(e) + OpenAdvice(port.device, e) + "\n";
            continue;
        }
        if (int e = env.ppdev->Claim(fd, env.claimTimeoutMs); e != 0) {
            env.ppdev->ReleaseAndClose(fd);
            report += what +
                      (e == ETIMEDOUT ? "the port is held by " +
                                            HolderAdvice(ActiveClaimant(env.procRoot, port.device))
                                      : std::string("cannot claim: ") + std::strerror(e)) +
                      "\n";
            continue;
        }
        claimed.push_back({port, fd});
    }
    if (claimed.empty()) {
        return nullptr;
    }
    return std::make_unique<PpdevBackend>(*env.ppdev, std::move(claimed));
}

// Every check comes before the first ioperm: a refused map touches nothing.
std::optional<std::vector<PortAssignment>> DirectPlan(const BackendConfig& config,
                                                      const std::vector<KernelPort>& kernel,
                                                      const BackendEnv& env, std::string& report) {
    std::vector<PortAssignment> ports;
    if (!config.maps.empty()) {
        for (const MapRequest& m : config.maps) {
            std::string error;
            const auto a = ResolveDirectMap(m, kernel, env.root, error);
            if (!a) {
                report += "direct: " + error + "\n";
                return std::nullopt;
            }
            ports.push_back(*a);
        }
        return ports;
    }
    // The kernel's ports as ppdev would serve them; free codes keep their own base.
    // A port the kernel knows without an I/O base (a USB adapter) keeps its code
    // but is left to ppdev: its code must not reach whatever sits at that base.
    const std::vector<PortAssignment> kernelPlan = AssignCodes(kernel).served;
    for (const PortAssignment& p : kernelPlan) {
        if (IsPortIoRange(p.base, 3)) {
            ports.push_back({p.code, "", p.base, p.ecr});
        } else {
            report += "direct: " + p.device + " has no I/O base (the kernel reports " +
                      Hex(p.base) + ", as for a USB adapter): it is served only through ppdev\n";
        }
    }
    for (std::uint16_t code : StandardBases) {
        if (std::none_of(kernelPlan.begin(), kernelPlan.end(),
                         [code](const PortAssignment& p) { return p.code == code; })) {
            ports.push_back({code, "", code, 0});
        }
    }
    std::stable_sort(
        ports.begin(), ports.end(), [](const PortAssignment& a, const PortAssignment& b) {
            return std::find(std::begin(StandardBases), std::end(StandardBases), a.code) <
                   std::find(std::begin(StandardBases), std::end(StandardBases), b.code);
        });
    return OnlyWanted(ports, config);
}

// What an ioperm failure means; each errno has another cause and another remedy.
std::string IopermAdvice(int error) {
    switch (error) {
        case ENOSYS:
            return " (this kernel has no port permissions at all: not an x86 machine, or built "
                   "without CONFIG_X86_IOPL_IOPERM; use ppdev: sudo modprobe ppdev)";
        case EPERM:
            return " (port instructions need CAP_SYS_RAWIO, which scripts/install gives the agent, "
                   "or root; under kernel lockdown (/sys/kernel/security/lockdown) not even those)";
        default:
            return {};
    }
}

bool PermitAll(const std::vector<PortAssignment>& ports, const BackendEnv& env,
               std::string& report) {
    for (const PortAssignment& p : ports) {
        const std::pair<unsigned, unsigned> ranges[] = {{p.base, DirectWindow(p)},
                                                        {p.ecr + 2u, p.ecr ? 1u : 0u}};
        for (const auto& [from, count] : ranges) {
            if (count == 0) {
                continue;
            }
            // The last word before ioperm: nothing the plans let through may reach
            // the motherboard's devices or wrap around.
            if (!IsPortIoRange(from, count)) {
                report += "direct: refused: " + Hex(from) + " is no parallel-port address\n";
                return false;
            }
            if (int e = env.io->Permit(static_cast<std::uint16_t>(from), count); e != 0) {
                report += "direct: ioperm(" + Hex(from) + "): " + std::strerror(e) +
                          IopermAdvice(e) + "\n";
                return false;
            }
        }
    }
    return true;
}

std::unique_ptr<Backend> OpenDirect(const std::optional<std::vector<PortAssignment>>& plan,
                                    const BackendEnv& env, bool requirePresence,
                                    std::string& report) {
    if (!plan || !PermitAll(*plan, env, report)) {
        return nullptr;
    }
    std::vector<PortAssignment> ports;
    for (const PortAssignment& p : *plan) {
        // Root on a machine without a port must not end up driving empty addresses.
        if (!requirePresence || ControlRegisterAnswers(*env.io, p.base)) {
            ports.push_back(p);
        }
    }
    if (ports.empty()) {
        report += "direct: no port answered the control-register test\n";
        return nullptr;
    }
    for (const PortAssignment& p : ports) {
        if (p.ecr != 0) {
            if (const std::string note = SetEcrToPs2(*env.io, p.ecr); !note.empty()) {
                report += "direct: " + Hex(p.code) + " = " + Hex(p.base) + ": " + note + "\n";
            }
        }
    }
    return std::make_unique<DirectBackend>(*env.io, std::move(ports));
}

}  // namespace

OpenedBackend OpenBackend(const BackendConfig& config, const BackendEnv& env) {
    OpenedBackend result;
    if (config.kind == BackendKind::Sim) {
        const PlugWiring* plug = config.plug.empty()
                                     ? (config.loopback ? FindPlugWiring("norton") : nullptr)
                                     : FindPlugWiring(config.plug);
        result.backend = std::make_unique<SimBackend>(Wanted(config), plug, config.simFaults);
        return result;
    }
    const std::vector<KernelPort> kernel = ReadKernelPorts(env.procRoot, env.devRoot);
    const bool mapsDevices = !config.maps.empty() && config.maps[0].parport >= 0;
    const bool mapsBases = !config.maps.empty() && !mapsDevices;
    std::string& report = result.report;
    if (config.kind == BackendKind::Ppdev || (config.kind == BackendKind::Auto && !mapsBases)) {
        result.backend = OpenPpdev(PpdevPlan(config, kernel, env, report), env, report);
    }
    if (!result.backend && (config.kind == BackendKind::Direct ||
                            (config.kind == BackendKind::Auto && !mapsDevices))) {
        result.backend = OpenDirect(DirectPlan(config, kernel, env, report), env,
                                    config.kind == BackendKind::Auto && !mapsBases, report);
    }
    return result;
}

}  // namespace agent
