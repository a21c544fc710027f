#include "platform/SingleInstance.h"

#include <algorithm>

namespace platform {

std::string InstanceBaseName(const std::string& title, const std::string& identifier) {
    // A backslash would name a kernel object namespace on Windows.
    std::string name = title + identifier + ".OneInstance.";
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

SingleInstance::SingleInstance(const std::string& baseName, NamedLockSystem& locks)
    : baseName_(baseName) {
    // Two copies starting at the same moment meet here; the slower one gives up.
    std::unique_ptr<NamedLock> critical = locks.CreateOwned(baseName_ + "CriticalSection");
    if (!critical) {
        return;
    }
    held_ = locks.TryTake(baseName_ + "Default");
    // `critical` is released only after the long-lived lock has been decided.
}

}  // namespace platform
