// Linux layer of the port connection: the device is the port agent's socket, a
// device request is one request/reply with the agent, error codes are errno
// values, and the version test says NT, so there is no in-process direct mode.
// An agent can die and be started again while the program runs: a device whose
// agent hung up connects anew to the same socket path on its next request.
#include <strings.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "port/AgentClient.h"
#include "port/LinuxServiceManager.h"
#include "port/PortSystem.h"

namespace port {
namespace {

thread_local std::uint32_t lastError = 0;
constexpr ModuleHandle ServiceManagerModule = 0xAD;
constexpr std::uint32_t PlatformNt = 2;
// After a failed reconnect, requests fail at once for this long before the next
// connect is tried: a dead agent costs no connect per register read.
constexpr long long ReconnectIntervalNs = 200LL * 1000000;

long long MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// One opened device: its connection and where it was made, to make it again.
struct Device {
    agent::AgentClient client;
    std::string path;
    int downError = 0;            // why the connection is down, given while waiting
    long long nextConnectNs = 0;  // earliest time of the next reconnect
};

class LinuxPortSystem final : public PortSystem {
public:
    std::uint32_t QueryPlatformId() override { return PlatformNt; }
    void SetLastErrorCode(std::uint32_t code) override { lastError = code; }
    std::uint32_t GetLastErrorCode() override { return lastError; }

    // Whatever device name the caller uses, the device is the agent's socket.
    OsHandle OpenDevice(const char*, std::uint32_t, std::uint32_t, std::uint32_t,
                        std::uint32_t) override {
        auto device = std::make_unique<Device>();
        device->path = agent::DefaultSocketPath();
        if (int e = device->client.Open(device->path); e != 0) {
            lastError = static_cast<std::uint32_t>(e);
            return InvalidHandle;
        }
        std::lock_guard lock(mutex_);
        const OsHandle handle = nextHandle_++;
        devices_[handle] = std::move(device);
        return handle;
    }

    std::int32_t DeviceControl(OsHandle device, std::uint32_t code, void* in, std::uint32_t inSize,
                               void* out, std::uint32_t outSize,
                               std::uint32_t* bytesReturned) override {
        std::lock_guard lock(mutex_);
        auto it = devices_.find(device);
        if (it == devices_.end()) {
            lastError = EBADF;
            return 0;
        }
        if (in == nullptr || inSize == 0 || inSize % 2 != 0 || (out == nullptr && outSize)) {
            lastError = EINVAL;
            return 0;
        }
        std::vector<std::uint8_t> pairs(static_cast<const std::uint8_t*>(in),
                                        static_cast<const std::uint8_t*>(in) + inSize);
        Device& d = *it->second;
        int e = Reconnect(d);
        if (e == 0) {
            e = d.client.Exchange(code, pairs.data(), inSize / 2);
            if (d.client.IsBroken()) {
                // Closed now, so the next request connects again straight away.
                d.client.Close();
                d.downError = e;
                d.nextConnectNs = 0;
            }
        }
        const std::uint32_t copied = std::min(inSize, outSize);
        if (out != nullptr) {
            std::memcpy(out, pairs.data(), copied);
        }
        if (bytesReturned != nullptr) {
            *bytesReturned = e == 0 ? copied : 0;
        }
        if (e != 0) {
            lastError = static_cast<std::uint32_t>(e);
            return 0;
        }
        return 1;
    }

    std::int32_t CloseDevice(OsHandle device) override {
        std::lock_guard lock(mutex_);
        if (devices_.erase(device) == 0) {
            lastError = EBADF;
            return 0;
        }
        return 1;
    }

    ModuleHandle LoadModule(const char* name) override {
        if (name != nullptr && ::strcasecmp(name, "ADVAPI32.DLL") == 0) {
            return ServiceManagerModule;
        }
        lastError = ENOENT;
        return 0;
    }
    void* ResolveProc(ModuleHandle module, const char* name) override {
        return module == ServiceManagerModule ? linux_services::Resolve(name) : nullptr;
    }
    std::int32_t ReleaseModule(ModuleHandle module) override {
        return module == ServiceManagerModule ? 1 : 0;
    }

    std::string ExecutableFolder() override {
        std::vector<char> buffer(4096);
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
        if (n <= 0) {
            return "./";
        }
        std::string path(buffer.data(), static_cast<std::size_t>(n));
        return path.substr(0, path.find_last_of('/') + 1);
    }

    // Never reached: with the NT answer the connection has no direct mode.
    void PortOut(std::uint16_t, std::uint8_t) override {}
    std::uint8_t PortIn(std::uint16_t) override { return 0xFF; }

private:
    // 0 when the device's connection is up (again), else why not.
    static int Reconnect(Device& d) {
        if (d.client.IsOpen()) {
            return 0;
        }
        const long long now = MonotonicNs();
        if (now < d.nextConnectNs) {
            return d.downError;
        }
        if (int e = d.client.Open(d.path); e != 0) {
            d.downError = e;
            d.nextConnectNs = now + ReconnectIntervalNs;
            return e;
        }
        return 0;
    }

    std::mutex mutex_;
    std::map<OsHandle, std::unique_ptr<Device>> devices_;
    OsHandle nextHandle_ = 1;
};

}  // namespace

PortSystem& NativePortSystem() {
    static LinuxPortSystem system;
    return system;
}

}  // namespace port
