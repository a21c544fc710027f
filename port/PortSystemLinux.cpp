// Linux layer of the port connection. Until the port agent client lands this
// reports that no device can be opened (error 2), like an NT system without driver.
#include <cerrno>

#include "port/PortSystem.h"

namespace port {
namespace {

thread_local std::uint32_t lastError = 0;

class LinuxPortSystem final : public PortSystem {
public:
    std::uint32_t QueryPlatformId() override { return 2; }
    void SetLastErrorCode(std::uint32_t code) override { lastError = code; }
    std::uint32_t GetLastErrorCode() override { return lastError; }
    OsHandle OpenDevice(const char*, std::uint32_t, std::uint32_t, std::uint32_t,
                        std::uint32_t) override {
        lastError = ENOENT;
        return InvalidHandle;
    }
    std::int32_t DeviceControl(OsHandle, std::uint32_t, void*, std::uint32_t, void*,
                               std::uint32_t, std::uint32_t*) override {
        lastError = EBADF;
        return 0;
    }
    std::int32_t CloseDevice(OsHandle) override { return 1; }
    ModuleHandle LoadModule(const char*) override { return 0; }
    void* ResolveProc(ModuleHandle, const char*) override { return nullptr; }
    std::int32_t ReleaseModule(ModuleHandle) override { return 1; }
    std::string ExecutableFolder() override { return "./"; }
    void PortOut(std::uint16_t, std::uint8_t) override {}
    std::uint8_t PortIn(std::uint16_t) override { return 0xFF; }
};

}  // namespace

PortSystem& NativePortSystem() {
    static LinuxPortSystem system;
    return system;
}

}  // namespace port
