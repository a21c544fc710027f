// What a user with hardware needs to know about the ports, without claiming any
// (`lptwdmio list`).
#pragma once

#include <string>

#include "agent/backends/BackendSelect.h"

namespace agent {

struct PortListing {
    std::string text;     // one line per port, then a closing line
    bool usable = false;  // at least one port the agent can serve now
};

PortListing ListPorts(const BackendEnv& env);

}  // namespace agent
