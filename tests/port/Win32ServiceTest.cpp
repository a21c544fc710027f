// The real Win32 layer end to end under Wine's service manager: with no driver
// device the connection registers the service, tries to start it, and removes
// it again at destruction.
#include <windows.h>

#include <gtest/gtest.h>

#include "port/LPTIO.h"

namespace {

std::string ExeFolder() {
    char buffer[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer, n);
    return path.substr(0, path.find_last_of("\\/") + 1);
}

}  // namespace

TEST(Win32PortConnection, RegistersTheDriverServiceAndRemovesItAgain) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager, nullptr) << GetLastError();
    // Leftovers of an earlier, interrupted run would change the path taken.
    if (SC_HANDLE old = OpenServiceA(manager, ServiceName, SERVICE_ALL_ACCESS)) {
        DeleteService(old);
        CloseServiceHandle(old);
    }

    std::uint32_t lastError = 0;
    {
        TLptPortConnection conn;
        lastError = GetLastError();
        EXPECT_TRUE(conn.IsNT());
        EXPECT_FALSE(conn.IsReady());
        EXPECT_TRUE(conn.ServiceStarted());
        EXPECT_EQ(conn.DriverPath(), ExeFolder() + "LPTWDMIO.SYS");

        SC_HANDLE service = OpenServiceA(manager, ServiceName, SERVICE_QUERY_CONFIG);
        ASSERT_NE(service, nullptr) << GetLastError();
        DWORD needed = 0;
        QueryServiceConfigA(service, nullptr, 0, &needed);
        std::vector<char> buffer(needed);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        ASSERT_TRUE(QueryServiceConfigA(service, config, needed, &needed));
        EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
        EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_DEMAND_START));
        EXPECT_EQ(config->dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
        EXPECT_NE(std::string(config->lpBinaryPathName).find("LPTWDMIO.SYS"), std::string::npos)
            << config->lpBinaryPathName;
        EXPECT_STREQ(config->lpDisplayName, ServiceDisplayName);
        CloseServiceHandle(service);

        EXPECT_EQ(conn.ReadRegister(PortCode378, RegData), 0);
        EXPECT_FALSE(conn.WriteRegister(PortCode378, RegData, 0x55));
    }
    EXPECT_EQ(lastError, 2u) << "the error left by the second CreateFileA";

    SetLastError(0);
    SC_HANDLE gone = OpenServiceA(manager, ServiceName, SERVICE_ALL_ACCESS);
    const DWORD openError = GetLastError();
    if (gone) {
        CloseServiceHandle(gone);
    }
    EXPECT_EQ(gone, nullptr);
    EXPECT_EQ(openError, static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    CloseServiceHandle(manager);
}
