// Advice shared by the backends' error messages and `lptwdmio list`: what a user
// does when a port device can't be opened or is held by someone else.
#pragma once

#include <string>

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

}  // namespace agent
