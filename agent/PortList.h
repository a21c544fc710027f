// What a user with hardware needs to know about the ports, without claiming any
// (`lptwdmio list`), and the advice shared with the backends' error messages.
#pragma once

#include <string>

#include "agent/BackendSelect.h"

namespace agent {

// Words a user acts on after open() of a ppdev device failed with `error`:
// the group to join, or the module to load. Starts with "; ", or is empty.
std::string OpenAdvice(const std::string& device, int error);

// The kernel's name for the current claimant of /dev/parportN ("lp0",
// "ppdev0", "none"), from /proc/sys/dev/parport/parportN/devices/active; empty
// when unknown.
std::string ActiveClaimant(const std::string& procRoot, const std::string& device);

// Who holds the port and what to do about it, for "the port is held by ...".
std::string HolderAdvice(const std::string& active);

struct PortListing {
    std::string text;     // one line per port, then a closing line
    bool usable = false;  // at least one port the agent can serve now
};

PortListing ListPorts(const BackendEnv& env);

}  // namespace agent
