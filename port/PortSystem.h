// Everything the port connection asks of the operating system, behind one small
// interface: the real Win32 calls on Windows, the agent client on Linux, and
// recording fakes in the tests.
#pragma once

#include <cstdint>
#include <string>

namespace port {

using OsHandle = std::uintptr_t;      // device handle; all bits set = none
using ModuleHandle = std::uintptr_t;  // loaded library; 0 = none
using ScHandle = void*;               // service-manager handle; nullptr = none

inline constexpr OsHandle InvalidHandle = ~OsHandle(0);

#if defined(_WIN32) && !defined(_WIN64)
#define PORT_WINAPI __stdcall
#else
#define PORT_WINAPI
#endif

// The six service-manager entry points, with the ANSI Win32 signatures.
using OpenSCManagerAFn = ScHandle(PORT_WINAPI*)(const char* machine, const char* database,
                                                std::uint32_t access);
using CloseServiceHandleFn = std::int32_t(PORT_WINAPI*)(ScHandle handle);
using CreateServiceAFn = ScHandle(PORT_WINAPI*)(ScHandle manager, const char* name,
                                                const char* displayName, std::uint32_t access,
                                                std::uint32_t serviceType, std::uint32_t startType,
                                                std::uint32_t errorControl, const char* imagePath,
                                                const char* loadOrderGroup, std::uint32_t* tagId,
                                                const char* dependencies, const char* account,
                                                const char* password);
using StartServiceAFn = std::int32_t(PORT_WINAPI*)(ScHandle service, std::uint32_t argc,
                                                   const char** argv);
using OpenServiceAFn = ScHandle(PORT_WINAPI*)(ScHandle manager, const char* name,
                                              std::uint32_t access);
using DeleteServiceFn = std::int32_t(PORT_WINAPI*)(ScHandle service);

class PortSystem {
public:
    virtual ~PortSystem() = default;

    // GetVersionExA with an OSVERSIONINFOA of size 148: the platform id (2 = NT).
    virtual std::uint32_t QueryPlatformId() = 0;
    virtual void SetLastErrorCode(std::uint32_t code) = 0;
    virtual std::uint32_t GetLastErrorCode() = 0;

    // CreateFileA(path, access, share, no security, creation, flags, no template).
    virtual OsHandle OpenDevice(const char* path, std::uint32_t access, std::uint32_t share,
                                std::uint32_t creation, std::uint32_t flags) = 0;
    // DeviceIoControl without an overlapped structure; returns the call's BOOL.
    virtual std::int32_t DeviceControl(OsHandle device, std::uint32_t code, void* in,
                                       std::uint32_t inSize, void* out, std::uint32_t outSize,
                                       std::uint32_t* bytesReturned) = 0;
    virtual std::int32_t CloseDevice(OsHandle device) = 0;

    virtual ModuleHandle LoadModule(const char* name) = 0;
    virtual void* ResolveProc(ModuleHandle module, const char* name) = 0;
    virtual std::int32_t ReleaseModule(ModuleHandle module) = 0;

    // Folder of the running executable, with its trailing separator.
    virtual std::string ExecutableFolder() = 0;

    // Byte-wide port instructions, used only on the direct path.
    virtual void PortOut(std::uint16_t address, std::uint8_t value) = 0;
    virtual std::uint8_t PortIn(std::uint16_t address) = 0;
};

// The layer of the platform the program was built for; lives as long as the process.
PortSystem& NativePortSystem();

}  // namespace port
