#include "port/LPTIO.h"

using namespace lptio_win32;

std::uint16_t PortCodeAddress(std::uint8_t portCode) {
    std::uint16_t base;
    switch (portCode >> 4) {
        case 1:
            base = 0x3BC;
            break;
        case 2:
            base = 0x378;
            break;
        default:
            base = 0x278;
            break;
    }
    return static_cast<std::uint16_t>(base + (portCode & 7));
}

TLptPortConnection::TLptPortConnection() : TLptPortConnection(port::NativePortSystem()) {}

TLptPortConnection::TLptPortConnection(port::PortSystem& os) : Os_(os) {
    IsNT_ = Os_.QueryPlatformId() == PlatformWin32Nt;
    OpenDevice();
    if (DeviceHandle_ == port::InvalidHandle && IsNT_) {
        RegisterAndStartDriver();
        OpenDevice();  // this second attempt alone decides the mode
    }
    if (IsReady()) {
        Present3BC_ = PortPresent(PortCode3BC);
        Present378_ = PortPresent(PortCode378);
        Present278_ = PortPresent(PortCode278);
    }
}

TLptPortConnection::~TLptPortConnection() {
    if (DeviceHandle_ != port::InvalidHandle) {
        Os_.CloseDevice(DeviceHandle_);
        DeviceHandle_ = port::InvalidHandle;
    }
    if (ServiceStarted_) {
        RemoveStartedService();
        Os_.ReleaseModule(AdvApiModule_);
        AdvApiModule_ = 0;
    }
}

void TLptPortConnection::OpenDevice() {
    Os_.SetLastErrorCode(0);
    DeviceHandle_ = Os_.OpenDevice(DevicePath, GenericReadWrite, FileShareReadWrite, OpenExisting,
                                   FileAttributeNormal);
}

void TLptPortConnection::RegisterAndStartDriver() {
    AdvApiModule_ = Os_.LoadModule(AdvApiLibrary);
    if (AdvApiModule_ == 0) {
        return;
    }
    OpenSCManagerA_ =
        reinterpret_cast<port::OpenSCManagerAFn>(Os_.ResolveProc(AdvApiModule_, "OpenSCManagerA"));
    CloseServiceHandle_ = reinterpret_cast<port::CloseServiceHandleFn>(
        Os_.ResolveProc(AdvApiModule_, "CloseServiceHandle"));
    CreateServiceA_ =
        reinterpret_cast<port::CreateServiceAFn>(Os_.ResolveProc(AdvApiModule_, "CreateServiceA"));
    StartServiceA_ =
        reinterpret_cast<port::StartServiceAFn>(Os_.ResolveProc(AdvApiModule_, "StartServiceA"));
    OpenServiceA_ =
        reinterpret_cast<port::OpenServiceAFn>(Os_.ResolveProc(AdvApiModule_, "OpenServiceA"));
    DeleteService_ =
        reinterpret_cast<port::DeleteServiceFn>(Os_.ResolveProc(AdvApiModule_, "DeleteService"));
    // A library missing an entry point is treated like one that would not load,
    // rather than calling through a null pointer.
    if (!OpenSCManagerA_ || !CloseServiceHandle_ || !CreateServiceA_ || !StartServiceA_ ||
        !OpenServiceA_ || !DeleteService_) {
        return;
    }
    port::ScHandle manager = OpenSCManagerA_(nullptr, nullptr, ScManagerAllAccess);
    if (manager == nullptr) {
        return;
    }
    DriverPath_ = Os_.ExecutableFolder() + DriverFileName;
    port::ScHandle service =
        CreateServiceA_(manager, ServiceName, ServiceDisplayName, ServiceAllAccess,
                        ServiceKernelDriver, ServiceDemandStart, ServiceErrorNormal,
                        DriverPath_.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (service == nullptr) {
        service = OpenServiceA_(manager, ServiceName, ServiceAllAccess);
    }
    if (service != nullptr) {
        ServiceArgs_ = 0;
        StartServiceA_(service, 0, reinterpret_cast<const char**>(&ServiceArgs_));
        ServiceStarted_ = true;
        CloseServiceHandle_(service);
    }
    CloseServiceHandle_(manager);
}

void TLptPortConnection::RemoveStartedService() {
    port::ScHandle manager = OpenSCManagerA_(nullptr, nullptr, ScManagerAllAccess);
    if (manager == nullptr) {
        return;
    }
    port::ScHandle service = OpenServiceA_(manager, ServiceName, ServiceAllAccess);
    if (service != nullptr) {
        DeleteService_(service);
        CloseServiceHandle_(service);
    }
    CloseServiceHandle_(manager);
}

bool TLptPortConnection::IsReady() const {
    return !(DeviceHandle_ == port::InvalidHandle && IsNT_);
}

bool TLptPortConnection::Transfer(std::uint32_t ioctl, RegisterPair* pairs, std::uint32_t count,
                                  bool write) {
    if (!IsReady()) {
        return false;
    }
    if (DeviceHandle_ != port::InvalidHandle) {
        Os_.SetLastErrorCode(0);
        std::uint32_t returned = 0;
        const std::uint32_t bytes = count * sizeof(RegisterPair);
        Os_.DeviceControl(DeviceHandle_, ioctl, pairs, bytes, pairs, bytes, &returned);
        return Os_.GetLastErrorCode() == 0;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint16_t address = PortCodeAddress(pairs[i].PortCode);
        if (write) {
            DirectWrite(address, pairs[i].Value);
        } else {
            pairs[i].Value = DirectRead(address);
        }
    }
    return true;
}

bool TLptPortConnection::ReadRegisters(RegisterPair* pairs, std::uint32_t count) {
    return Transfer(IoctlReadPorts, pairs, count, false);
}

bool TLptPortConnection::WriteRegisters(RegisterPair* pairs, std::uint32_t count) {
    return Transfer(IoctlWritePorts, pairs, count, true);
}

std::uint8_t TLptPortConnection::ReadRegister(std::uint8_t portCode, std::uint8_t reg) {
    RegisterPair pair{static_cast<std::uint8_t>(portCode | reg), 0};
    ReadRegisters(&pair, 1);
    return pair.Value;
}

bool TLptPortConnection::WriteRegister(std::uint8_t portCode, std::uint8_t reg,
                                       std::uint8_t value) {
    RegisterPair pair{static_cast<std::uint8_t>(portCode | reg), value};
    return WriteRegisters(&pair, 1);
}

bool TLptPortConnection::PortPresent(std::uint8_t portCode) {
    bool ok = true;
    const std::uint8_t old = ReadRegister(portCode, RegData);
    for (std::uint8_t pattern : {std::uint8_t{0x00}, std::uint8_t{0x55}, std::uint8_t{0xAA}}) {
        WriteRegister(portCode, RegData, pattern);
        if (ok) {
            ok = ReadRegister(portCode, RegData) == pattern;
        }
    }
    WriteRegister(portCode, RegData, old);
    if (ok) {
        return true;
    }
    const std::uint8_t control = ReadRegister(portCode, RegControl);
    if (control != 0x00 && control != 0xFF) {
        return true;
    }
    const std::uint8_t status = ReadRegister(portCode, RegStatus);
    return status != 0x00 && status != 0xFF;
}

void TLptPortConnection::DirectWrite(std::uint16_t address, std::uint8_t value) {
    Os_.PortOut(address, value);
}

std::uint8_t TLptPortConnection::DirectRead(std::uint16_t address) {
    return Os_.PortIn(address);
}
