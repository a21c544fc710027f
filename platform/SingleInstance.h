// Only one copy of the program runs at a time. Two named locks shared by all
// processes of the user's session do the job: a short-lived one that makes the
// test itself exclusive, and a long-lived one that the first copy holds until
// its process ends (also when it crashes or is killed).
#pragma once

#include <memory>
#include <string>

#include "platform/RuntimeFolder.h"

namespace platform {

// A lock held for as long as the object lives.
class NamedLock {
public:
    virtual ~NamedLock() = default;
};

// The operating system's named locks, behind a seam for the tests.
class NamedLockSystem {
public:
    virtual ~NamedLockSystem() = default;

    // Creates the lock and owns it at once. Returns nullptr when that fails or
    // when the lock already existed (another process is using it).
    virtual std::unique_ptr<NamedLock> CreateOwned(const std::string& name) = 0;
    // Creates or opens the lock and takes it without waiting. Returns nullptr
    // when another process holds it or the lock cannot be made.
    virtual std::unique_ptr<NamedLock> TryTake(const std::string& name) = 0;
};

// The locks of the platform the program was built for; lives as long as the process.
NamedLockSystem& NativeNamedLocks();

#ifndef _WIN32
// Locks as flock()ed files in `folder` (which must exist), for the tests.
std::unique_ptr<NamedLockSystem> MakeFileLocks(const std::string& folder);
#endif

// "<title><identifier>.OneInstance." with every backslash turned into a slash.
std::string InstanceBaseName(const std::string& title, const std::string& identifier = {});

// The check itself, done once at construction.
class SingleInstance {
public:
    explicit SingleInstance(const std::string& baseName,
                            NamedLockSystem& locks = NativeNamedLocks());
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another copy was found; this copy then holds nothing.
    bool AlreadyRunning() const { return !held_; }
    const std::string& BaseName() const { return baseName_; }

private:
    std::string baseName_;
    std::unique_ptr<NamedLock> held_;
};

}  // namespace platform
