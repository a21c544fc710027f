// Linux layer of the port connection: the device is the port agent's socket, a
// device request is one request/reply with the agent, error codes are errno
// values, and the version test says NT, so there is no in-process direct mode.
#include <strings.h>
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

class LinuxPortSystem final : public PortSystem {
public:
    std::uint32_t QueryPlatformId() override { return PlatformNt; }
    void SetLastErrorCode(std::uint32_t code) override { lastError = code; }
    std::uint32_t GetLastErrorCode() override { return lastError; }

    // Whatever device name the caller uses, the device is the agent's socket.
    OsHandle OpenDevice(const char*, std::uint32_t, std::uint32_t, std::uint32_t,
                        std::uint32_t) override {
        auto client = std::make_unique<agent::AgentClient>();
        if (int e = client->Open(agent::DefaultSocketPath()); e != 0) {
            lastError = static_cast<std::uint32_t>(e);
            return InvalidHandle;
        }
        std::lock_guard lock(mutex_);
        const OsHandle handle = nextHandle_++;
        clients_[handle] = std::move(client);
        return handle;
    }

    std::int32_t DeviceControl(OsHandle device, std::uint32_t code, void* in, std::uint32_t inSize,
                               void* out, std::uint32_t outSize,
                               std::uint32_t* bytesReturned) override {
        std::lock_guard lock(mutex_);
        auto it = clients_.find(device);
        if (it == clients_.end()) {
            lastError = EBADF;
            return 0;
        }
        if (in == nullptr || inSize == 0 || inSize % 2 != 0 || (out == nullptr && outSize)) {
            lastError = EINVAL;
            return 0;
        }
        std::vector<std::uint8_t> pairs(static_cast<const std::uint8_t*>(in),
                                        static_cast<const std::uint8_t*>(in) + inSize);
        const int e = it->second->Exchange(code, pairs.data(), inSize / 2);
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
        if (clients_.erase(device) == 0) {
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
    std::mutex mutex_;
    std::map<OsHandle, std::unique_ptr<agent::AgentClient>> clients_;
    OsHandle nextHandle_ = 1;
};

}  // namespace

PortSystem& NativePortSystem() {
    static LinuxPortSystem system;
    return system;
}

}  // namespace port
