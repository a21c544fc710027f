#include "agent/BackendSelect.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "agent/SimBackend.h"

namespace agent {
namespace {

std::string Hex(unsigned v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%X", v);
    return b;
}

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

std::unique_ptr<Backend> OpenPpdev(const std::vector<std::uint16_t>& wanted, const BackendEnv& env,
                                   std::string& report) {
    std::vector<PpdevBackend::Claimed> claimed;
    bool any = false;
    for (const ParportDevice& port : FindStandardParports(env.procRoot, env.devRoot)) {
        if (!Contains(wanted, port.base)) {
            continue;
        }
        any = true;
        const std::string what = "ppdev: " + port.device + " (" + Hex(port.base) + "): ";
        int fd = -1;
        if (int e = env.ppdev->Open(port.device, fd); e != 0) {
            report += what + "cannot open: " + std::strerror(e) + "\n";
            continue;
        }
        if (int e = env.ppdev->Claim(fd, env.claimTimeoutMs); e != 0) {
            env.ppdev->ReleaseAndClose(fd);
            report +=
                what +
                (e == ETIMEDOUT ? std::string("the port is held by another driver; unload the lp "
                                              "module (modprobe -r lp) and try again")
                                : std::string("cannot claim: ") + std::strerror(e)) +
                "\n";
            continue;
        }
        claimed.push_back({port, fd});
    }
    if (!any) {
        report += "ppdev: no " + env.devRoot + "/parportN has a standard base (" + env.procRoot +
                  "/sys/dev/parport/*/base-addr)\n";
    }
    if (claimed.empty()) {
        return nullptr;
    }
    return std::make_unique<PpdevBackend>(*env.ppdev, std::move(claimed));
}

bool PermitAll(const std::vector<std::uint16_t>& bases, const BackendEnv& env,
               std::string& report) {
    for (std::uint16_t base : bases) {
        if (int e = env.io->Permit(base, DirectWindow(base)); e != 0) {
            report += "direct: ioperm(" + Hex(base) + "): " + std::strerror(e) +
                      " (port instructions need CAP_SYS_RAWIO and are refused under kernel "
                      "lockdown)\n";
            return false;
        }
    }
    return true;
}

std::unique_ptr<Backend> OpenDirect(const std::vector<std::uint16_t>& wanted, const BackendEnv& env,
                                    bool requirePresence, std::string& report) {
    if (!PermitAll(wanted, env, report)) {
        return nullptr;
    }
    if (!requirePresence) {
        return std::make_unique<DirectBackend>(*env.io, wanted);
    }
    // Root on a machine without a port must not end up driving empty addresses.
    std::vector<std::uint16_t> answering;
    for (std::uint16_t base : wanted) {
        if (ControlRegisterAnswers(*env.io, base)) {
            answering.push_back(base);
        }
    }
    if (answering.empty()) {
        report += "direct: no standard base answered the control-register test\n";
        return nullptr;
    }
    return std::make_unique<DirectBackend>(*env.io, answering);
}

}  // namespace

OpenedBackend OpenBackend(const BackendConfig& config, const BackendEnv& env) {
    OpenedBackend result;
    const std::vector<std::uint16_t> wanted = Wanted(config);
    switch (config.kind) {
        case BackendKind::Sim:
            result.backend = std::make_unique<SimBackend>(wanted, config.loopback);
            break;
        case BackendKind::Ppdev:
            result.backend = OpenPpdev(wanted, env, result.report);
            break;
        case BackendKind::Direct:
            result.backend = OpenDirect(wanted, env, false, result.report);
            break;
        case BackendKind::Auto:
            result.backend = OpenPpdev(wanted, env, result.report);
            if (!result.backend) {
                result.backend = OpenDirect(wanted, env, true, result.report);
            }
            break;
    }
    return result;
}

}  // namespace agent
