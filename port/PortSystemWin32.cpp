// The real Win32 calls behind the port connection.
#include <windows.h>

#include "port/PortSystem.h"

namespace port {
namespace {

class Win32PortSystem final : public PortSystem {
public:
    std::uint32_t QueryPlatformId() override {
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = 148;
        static_assert(sizeof(OSVERSIONINFOA) == 148);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        ::GetVersionExA(&info);
#pragma GCC diagnostic pop
        return info.dwPlatformId;
    }
    void SetLastErrorCode(std::uint32_t code) override {
        ::SetLastError(code);
    }
    std::uint32_t GetLastErrorCode() override {
        return ::GetLastError();
    }

    OsHandle OpenDevice(const char* path, std::uint32_t access, std::uint32_t share,
                        std::uint32_t creation, std::uint32_t flags) override {
        HANDLE h = ::CreateFileA(path, access, share, nullptr, creation, flags, nullptr);
        return reinterpret_cast<OsHandle>(h);
    }
    std::int32_t DeviceControl(OsHandle device, std::uint32_t code, void* in, std::uint32_t inSize,
                               void* out, std::uint32_t outSize,
                               std::uint32_t* bytesReturned) override {
        DWORD returned = 0;
        BOOL ok = ::DeviceIoControl(reinterpret_cast<HANDLE>(device), code, in, inSize, out,
                                    outSize, &returned, nullptr);
        if (bytesReturned) {
            *bytesReturned = returned;
        }
        return ok;
    }
    std::int32_t CloseDevice(OsHandle device) override {
        return ::CloseHandle(reinterpret_cast<HANDLE>(device));
    }

    ModuleHandle LoadModule(const char* name) override {
        return reinterpret_cast<ModuleHandle>(::LoadLibraryA(name));
    }
    void* ResolveProc(ModuleHandle module, const char* name) override {
        return reinterpret_cast<void*>(::GetProcAddress(reinterpret_cast<HMODULE>(module), name));
    }
    std::int32_t ReleaseModule(ModuleHandle module) override {
        return ::FreeLibrary(reinterpret_cast<HMODULE>(module));
    }

    std::string ExecutableFolder() override {
        char buffer[MAX_PATH + 1] = {};
        DWORD n = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
        std::string path(buffer, n);
        const auto slash = path.find_last_of("\\/");
        return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    }

    void PortOut(std::uint16_t address, std::uint8_t value) override {
        __asm__ __volatile__("outb %0, %1" : : "a"(value), "Nd"(address));
    }
    std::uint8_t PortIn(std::uint16_t address) override {
        std::uint8_t value;
        __asm__ __volatile__("inb %1, %0" : "=a"(value) : "Nd"(address));
        return value;
    }
};

}  // namespace

PortSystem& NativePortSystem() {
    static Win32PortSystem system;
    return system;
}

}  // namespace port
