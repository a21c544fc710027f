// Named locks as Win32 named mutexes. The system abandons a mutex whose owning
// thread ends, so the next taker gets it even after a crash of the owner.
#ifdef _WIN32

#include <windows.h>

#include "platform/SingleInstance.h"

namespace platform {
namespace {

class MutexLock final : public NamedLock {
public:
    MutexLock(HANDLE mutex, bool owned) : mutex_(mutex), owned_(owned) {}
    ~MutexLock() override {
        if (owned_) {
            ::ReleaseMutex(mutex_);
        }
        ::CloseHandle(mutex_);
    }

private:
    HANDLE mutex_;
    bool owned_;
};

class Win32Locks final : public NamedLockSystem {
public:
    std::unique_ptr<NamedLock> CreateOwned(const std::string& name) override {
        HANDLE mutex = ::CreateMutexA(nullptr, TRUE, name.c_str());
        if (!mutex) {
            return nullptr;
        }
        if (::GetLastError() == ERROR_ALREADY_EXISTS) {
            // We got a handle but not the ownership.
            ::CloseHandle(mutex);
            return nullptr;
        }
        return std::make_unique<MutexLock>(mutex, true);
    }

    std::unique_ptr<NamedLock> TryTake(const std::string& name) override {
        HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name.c_str());
        if (!mutex) {
            return nullptr;
        }
        // WAIT_ABANDONED: the last owner died without releasing it; it is ours now.
        const DWORD rc = ::WaitForSingleObject(mutex, 0);
        if (rc != WAIT_OBJECT_0 && rc != WAIT_ABANDONED) {
            ::CloseHandle(mutex);
            return nullptr;
        }
        return std::make_unique<MutexLock>(mutex, true);
    }
};

}  // namespace

NamedLockSystem& NativeNamedLocks() {
    static Win32Locks locks;
    return locks;
}

}  // namespace platform

#endif  // _WIN32
