// Opening the backend the user asked for, and the `auto` choice: ppdev when the
// kernel reports a port, else port instructions on bases that answer a presence
// test, else nothing. Never a silent fall-back to simulation. Each port is
// served under a standard code (agent/backends/PortMap.h), or as --map says.
#pragma once

#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "agent/backends/Backend.h"
#include "agent/backends/DirectBackend.h"
#include "agent/backends/PortMap.h"
#include "agent/backends/PpdevBackend.h"
#include "agent/backends/SimLines.h"

namespace agent {

enum class BackendKind { Auto, Ppdev, Direct, Sim };

struct BackendConfig {
    BackendKind kind = BackendKind::Auto;
    std::vector<std::uint16_t> ports;  // empty: 0x378 for sim, all three otherwise
    bool loopback = false;
    std::vector<MapRequest> maps;  // when given, exactly these ports are served
    // sim only: the loopback plug fitted ("none", a wiring's name; empty: as
    // loopback says) and the faults injected into its lines.
    std::string plug{};
    std::vector<SimFault> simFaults{};
};

// Where the OS calls go; tests point these at fakes and a private /proc tree.
struct BackendEnv {
    PpdevOps* ppdev = &SystemPpdev();
    PortIo* io = &SystemPortIo();
    std::string procRoot = "/proc";
    std::string devRoot = "/dev";
    int claimTimeoutMs = 2000;
    bool root = ::getuid() == 0;  // may name any base for port instructions
};

struct OpenedBackend {
    std::unique_ptr<Backend> backend;  // null when nothing could be opened
    std::string report;                // what was tried and why it failed, one line each
};

OpenedBackend OpenBackend(const BackendConfig& config, const BackendEnv& env);

}  // namespace agent
