// The Linux reading of the Windows service manager, behind the same six entry
// points the port connection resolves from "ADVAPI32.DLL": registering records the
// image path, starting launches the port agent from the image's folder, deleting
// is a no-op because an agent started this way ends with its last client.
#pragma once

#include <string>

namespace port::linux_services {

// The entry point of that name, or nullptr.
void* Resolve(const char* name);

// Runs `program serve --backend auto --exit-when-idle --detach` and waits up to
// timeoutMs for it to report that the agent accepts; true when it did.
bool LaunchAgent(const std::string& program, int timeoutMs);

// The image path the last CreateServiceA recorded (empty before).
std::string RegisteredImagePath();

}  // namespace port::linux_services
