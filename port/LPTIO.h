// The program's only road to the parallel-port hardware: single registers of the
// three standard ports, read and written in batches of (port code, value) pairs
// through the port access driver, or with port instructions where no driver is
// needed. Failures come back as results and the last-error code, never as throws.
#pragma once

#include <cstdint>
#include <string>

#include "port/PortSystem.h"

// Port codes: high nibble names the port, low three bits the register.
inline constexpr std::uint8_t PortCode3BC = 0x10;
inline constexpr std::uint8_t PortCode378 = 0x20;
inline constexpr std::uint8_t PortCode278 = 0x30;

inline constexpr std::uint8_t RegData = 0;
inline constexpr std::uint8_t RegStatus = 1;
inline constexpr std::uint8_t RegControl = 2;

// Control register bits.
inline constexpr std::uint8_t BitStrobe = 0x01;
inline constexpr std::uint8_t BitAutoFeed = 0x02;
inline constexpr std::uint8_t BitInit = 0x04;
inline constexpr std::uint8_t BitSelectIn = 0x08;
// Status register bits.
inline constexpr std::uint8_t BitError = 0x08;
inline constexpr std::uint8_t BitSelect = 0x10;
inline constexpr std::uint8_t BitPaperEnd = 0x20;
inline constexpr std::uint8_t BitAck = 0x40;
inline constexpr std::uint8_t BitBusy = 0x80;

// The driver contract.
inline constexpr const char* DevicePath = "\\\\.\\LptAccessAgent";
inline constexpr const char* ServiceName = "lptwdmio";
inline constexpr const char* ServiceDisplayName = "LPT port direct access service";
inline constexpr const char* DriverFileName = "LPTWDMIO.SYS";
inline constexpr std::uint32_t IoctlReadPorts = 0x220050;
inline constexpr std::uint32_t IoctlWritePorts = 0x220060;

// Win32 values the connection passes on.
namespace lptio_win32 {
inline constexpr std::uint32_t PlatformWin32Nt = 2;
inline constexpr std::uint32_t GenericReadWrite = 0xC0000000u;
inline constexpr std::uint32_t FileShareReadWrite = 3;
inline constexpr std::uint32_t OpenExisting = 3;
inline constexpr std::uint32_t FileAttributeNormal = 0x80;
inline constexpr std::uint32_t ScManagerAllAccess = 0xF003F;
inline constexpr std::uint32_t ServiceAllAccess = 0xF01FF;
inline constexpr std::uint32_t ServiceKernelDriver = 1;
inline constexpr std::uint32_t ServiceDemandStart = 3;
inline constexpr std::uint32_t ServiceErrorNormal = 1;
inline constexpr const char* AdvApiLibrary = "ADVAPI32.DLL";
}  // namespace lptio_win32

#pragma pack(push, 1)
struct RegisterPair {
    std::uint8_t PortCode;
    std::uint8_t Value;
};
#pragma pack(pop)
static_assert(sizeof(RegisterPair) == 2);

// I/O address a port code decodes to: base from the high nibble, offset from bits 0-2.
std::uint16_t PortCodeAddress(std::uint8_t portCode);

class TLptPortConnection {
public:
    TLptPortConnection();  // on the platform's own layer
    explicit TLptPortConnection(port::PortSystem& os);
    virtual ~TLptPortConnection();
    TLptPortConnection(const TLptPortConnection&) = delete;
    TLptPortConnection& operator=(const TLptPortConnection&) = delete;

    bool IsReady() const;
    bool ReadRegisters(RegisterPair* pairs, std::uint32_t count);
    bool WriteRegisters(RegisterPair* pairs, std::uint32_t count);
    std::uint8_t ReadRegister(std::uint8_t portCode, std::uint8_t reg);
    bool WriteRegister(std::uint8_t portCode, std::uint8_t reg, std::uint8_t value);
    bool PortPresent(std::uint8_t portCode);
    void DirectWrite(std::uint16_t address, std::uint8_t value);
    std::uint8_t DirectRead(std::uint16_t address);

    bool Present3BC() const { return Present3BC_; }
    bool Present378() const { return Present378_; }
    bool Present278() const { return Present278_; }
    bool ServiceStarted() const { return ServiceStarted_; }
    bool IsNT() const { return IsNT_; }
    bool HasDevice() const { return DeviceHandle_ != port::InvalidHandle; }
    const std::string& DriverPath() const { return DriverPath_; }

private:
    void OpenDevice();
    void RegisterAndStartDriver();
    void RemoveStartedService();
    bool Transfer(std::uint32_t ioctl, RegisterPair* pairs, std::uint32_t count, bool write);

    port::PortSystem& Os_;
    port::OsHandle DeviceHandle_ = port::InvalidHandle;
    bool IsNT_ = false;
    bool ServiceStarted_ = false;
    port::ModuleHandle AdvApiModule_ = 0;
    std::string DriverPath_;
    std::uint32_t ServiceArgs_ = 0;
    port::OpenSCManagerAFn OpenSCManagerA_ = nullptr;
    port::CloseServiceHandleFn CloseServiceHandle_ = nullptr;
    port::CreateServiceAFn CreateServiceA_ = nullptr;
    port::StartServiceAFn StartServiceA_ = nullptr;
    port::OpenServiceAFn OpenServiceA_ = nullptr;
    port::DeleteServiceFn DeleteService_ = nullptr;
    bool Present3BC_ = false;
    bool Present378_ = false;
    bool Present278_ = false;
};
