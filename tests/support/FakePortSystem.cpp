#include "support/FakePortSystem.h"

#include <cstdio>

FakePortSystem* FakePortSystem::current = nullptr;

namespace {

port::ScHandle const ManagerHandle = reinterpret_cast<port::ScHandle>(0x5C);
port::ScHandle const ServiceHandle = reinterpret_cast<port::ScHandle>(0x5E);
constexpr port::OsHandle DeviceHandle = 0x44;
constexpr port::ModuleHandle AdvApi = 0xAD;

std::string Hex(std::uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%X", v);
    return b;
}

port::ScHandle PORT_WINAPI OpenSCManagerStub(const char*, const char*, std::uint32_t access) {
    return FakePortSystem::current->OpenManager(access);
}
std::int32_t PORT_WINAPI CloseServiceHandleStub(port::ScHandle h) {
    return FakePortSystem::current->CloseService(h);
}
port::ScHandle PORT_WINAPI CreateServiceStub(port::ScHandle, const char* name, const char* display,
                                             std::uint32_t access, std::uint32_t type,
                                             std::uint32_t start, std::uint32_t errors,
                                             const char* image, const char*, std::uint32_t*,
                                             const char*, const char*, const char*) {
    return FakePortSystem::current->CreateService(name, display, access, type, start, errors,
                                                  image);
}
std::int32_t PORT_WINAPI StartServiceStub(port::ScHandle, std::uint32_t argc, const char**) {
    return FakePortSystem::current->StartService(argc);
}
port::ScHandle PORT_WINAPI OpenServiceStub(port::ScHandle, const char* name, std::uint32_t access) {
    return FakePortSystem::current->OpenService(name, access);
}
std::int32_t PORT_WINAPI DeleteServiceStub(port::ScHandle) {
    return FakePortSystem::current->DeleteService();
}

}  // namespace

FakePortSystem::FakePortSystem() {
    current = this;
}
FakePortSystem::~FakePortSystem() {
    current = nullptr;
}

std::uint8_t FakePortSystem::Value(std::uint16_t address) const {
    if (auto f = fixedReads.find(address); f != fixedReads.end()) {
        return f->second;
    }
    auto l = latch.find(address);
    return l == latch.end() ? 0 : l->second;
}

std::uint32_t FakePortSystem::QueryPlatformId() {
    calls.push_back("GetVersionExA");
    return platformId;
}

port::OsHandle FakePortSystem::OpenDevice(const char* path, std::uint32_t access,
                                          std::uint32_t share, std::uint32_t creation,
                                          std::uint32_t flags) {
    calls.push_back(std::string("CreateFileA ") + path + " " + Hex(access) + " " + Hex(share) +
                    " " + Hex(creation) + " " + Hex(flags) + " lasterror=" + Hex(lastError_));
    const bool opens = deviceOpens[std::min(openAttempts_, deviceOpens.size() - 1)];
    ++openAttempts_;
    if (!opens) {
        lastError_ = openError;
        return port::InvalidHandle;
    }
    ++openHandles;
    return DeviceHandle;
}

std::int32_t FakePortSystem::DeviceControl(port::OsHandle device, std::uint32_t code, void* in,
                                           std::uint32_t inSize, void* out, std::uint32_t outSize,
                                           std::uint32_t* bytesReturned) {
    ioctlCodes.push_back(code);
    if (device != DeviceHandle || in != out || inSize != outSize || inSize % 2 != 0) {
        calls.push_back("DeviceIoControl: bad arguments");
        lastError_ = 87;
        return 0;
    }
    if (ioctlError != 0) {
        lastError_ = ioctlError;
        return 0;
    }
    auto* pairs = static_cast<RegisterPair*>(in);
    for (std::uint32_t i = 0; i < inSize / 2; ++i) {
        const std::uint16_t a = PortCodeAddress(pairs[i].PortCode);
        if (code == IoctlWritePorts) {
            latch[a] = pairs[i].Value;
            accesses.push_back(W(a, pairs[i].Value));
        } else {
            pairs[i].Value = Value(a);
            accesses.push_back(R(a, pairs[i].Value));
        }
    }
    *bytesReturned = inSize;
    return 1;
}

std::int32_t FakePortSystem::CloseDevice(port::OsHandle) {
    calls.push_back("CloseHandle");
    --openHandles;
    return 1;
}

port::ModuleHandle FakePortSystem::LoadModule(const char* name) {
    calls.push_back(std::string("LoadLibraryA ") + name);
    if (!libraryLoads) {
        return 0;
    }
    ++loadedModules;
    return AdvApi;
}

void* FakePortSystem::ResolveProc(port::ModuleHandle, const char* name) {
    calls.push_back(std::string("GetProcAddress ") + name);
    const std::string n = name;
    if (n == "OpenSCManagerA")
        return reinterpret_cast<void*>(&OpenSCManagerStub);
    if (n == "CloseServiceHandle")
        return reinterpret_cast<void*>(&CloseServiceHandleStub);
    if (n == "CreateServiceA")
        return reinterpret_cast<void*>(&CreateServiceStub);
    if (n == "StartServiceA")
        return reinterpret_cast<void*>(&StartServiceStub);
    if (n == "OpenServiceA")
        return reinterpret_cast<void*>(&OpenServiceStub);
    if (n == "DeleteService")
        return reinterpret_cast<void*>(&DeleteServiceStub);
    return nullptr;
}

std::int32_t FakePortSystem::ReleaseModule(port::ModuleHandle) {
    calls.push_back("FreeLibrary");
    --loadedModules;
    return 1;
}

void FakePortSystem::PortOut(std::uint16_t address, std::uint8_t value) {
    latch[address] = value;
    accesses.push_back(W(address, value));
}

std::uint8_t FakePortSystem::PortIn(std::uint16_t address) {
    const std::uint8_t v = Value(address);
    accesses.push_back(R(address, v));
    return v;
}

port::ScHandle FakePortSystem::OpenManager(std::uint32_t access) {
    calls.push_back("OpenSCManagerA " + Hex(access));
    return managerOpens ? ManagerHandle : nullptr;
}

port::ScHandle FakePortSystem::CreateService(const char* name, const char* display,
                                             std::uint32_t access, std::uint32_t type,
                                             std::uint32_t start, std::uint32_t errors,
                                             const char* image) {
    calls.push_back(std::string("CreateServiceA ") + name + " '" + display + "' " + Hex(access) +
                    " " + Hex(type) + " " + Hex(start) + " " + Hex(errors) + " " + image);
    if (serviceRegistered) {
        lastError_ = 1073;  // ERROR_SERVICE_EXISTS
        return nullptr;
    }
    serviceRegistered = true;
    createdImagePath = image;
    return ServiceHandle;
}

port::ScHandle FakePortSystem::OpenService(const char* name, std::uint32_t access) {
    calls.push_back(std::string("OpenServiceA ") + name + " " + Hex(access));
    return serviceRegistered ? ServiceHandle : nullptr;
}

std::int32_t FakePortSystem::StartService(std::uint32_t argc) {
    calls.push_back("StartServiceA argc=" + std::to_string(argc));
    return startSucceeds ? 1 : 0;
}

std::int32_t FakePortSystem::DeleteService() {
    calls.push_back("DeleteService");
    serviceDeleted = true;
    serviceRegistered = false;
    return 1;
}

std::int32_t FakePortSystem::CloseService(port::ScHandle h) {
    calls.push_back(h == ManagerHandle ? "CloseServiceHandle manager"
                                       : "CloseServiceHandle service");
    return 1;
}
