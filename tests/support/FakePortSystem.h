// A recording stand-in for the OS layer of the port connection: a small port
// model behind the driver and the port instructions, and a scripted service manager.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "port/LPTIO.h"
#include "port/PortSystem.h"

struct PortAccess {
    bool write;
    std::uint16_t address;
    std::uint8_t value;
    bool operator==(const PortAccess&) const = default;
};

inline PortAccess R(std::uint16_t a, std::uint8_t v = 0) {
    return {false, a, v};
}
inline PortAccess W(std::uint16_t a, std::uint8_t v) {
    return {true, a, v};
}

class FakePortSystem : public port::PortSystem {
public:
    FakePortSystem();
    ~FakePortSystem() override;

    // Scenario.
    std::uint32_t platformId = 2;
    std::vector<bool> deviceOpens{true};  // result per open attempt; the last repeats
    std::uint32_t openError = 2;
    bool libraryLoads = true;
    bool managerOpens = true;
    bool serviceRegistered = false;
    bool startSucceeds = true;
    std::uint32_t ioctlError = 0;
    std::string folder = "C:\\Tools\\";

    // Port model: registers latch what is written; fixed values override reads.
    std::map<std::uint16_t, std::uint8_t> latch;
    std::map<std::uint16_t, std::uint8_t> fixedReads;

    // Records.
    std::vector<std::string> calls;         // OS and service-manager calls, in order
    std::vector<PortAccess> accesses;       // every register access with its value
    std::vector<std::uint32_t> ioctlCodes;  // one per device request
    std::string createdImagePath;
    bool serviceDeleted = false;
    int openHandles = 0;
    int loadedModules = 0;

    std::uint8_t Value(std::uint16_t address) const;

    std::uint32_t QueryPlatformId() override;
    void SetLastErrorCode(std::uint32_t code) override { lastError_ = code; }
    std::uint32_t GetLastErrorCode() override { return lastError_; }
    port::OsHandle OpenDevice(const char* path, std::uint32_t access, std::uint32_t share,
                              std::uint32_t creation, std::uint32_t flags) override;
    std::int32_t DeviceControl(port::OsHandle device, std::uint32_t code, void* in,
                               std::uint32_t inSize, void* out, std::uint32_t outSize,
                               std::uint32_t* bytesReturned) override;
    std::int32_t CloseDevice(port::OsHandle device) override;
    port::ModuleHandle LoadModule(const char* name) override;
    void* ResolveProc(port::ModuleHandle module, const char* name) override;
    std::int32_t ReleaseModule(port::ModuleHandle module) override;
    std::string ExecutableFolder() override { return folder; }
    void PortOut(std::uint16_t address, std::uint8_t value) override;
    std::uint8_t PortIn(std::uint16_t address) override;

    // Service manager, reached through the resolved entry points.
    port::ScHandle OpenManager(std::uint32_t access);
    port::ScHandle CreateService(const char* name, const char* display, std::uint32_t access,
                                 std::uint32_t type, std::uint32_t start, std::uint32_t errors,
                                 const char* image);
    port::ScHandle OpenService(const char* name, std::uint32_t access);
    std::int32_t StartService(std::uint32_t argc);
    std::int32_t DeleteService();
    std::int32_t CloseService(port::ScHandle handle);

    static FakePortSystem* current;

private:
    std::uint32_t lastError_ = 0;
    std::size_t openAttempts_ = 0;
};
