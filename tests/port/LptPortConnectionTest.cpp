// Construction, modes, service handling and the register operations of the port
// connection, through a recording OS layer.
#include <gtest/gtest.h>

#include <algorithm>

#include "port/LPTIO.h"
#include "support/FakePortSystem.h"

namespace {

bool Called(const FakePortSystem& os, const std::string& prefix) {
    return std::any_of(os.calls.begin(), os.calls.end(),
                       [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
}

std::vector<std::string> ServiceCalls(const FakePortSystem& os) {
    std::vector<std::string> out;
    for (const auto& c : os.calls) {
        if (c.rfind("CreateFileA", 0) != 0 && c != "GetVersionExA") {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace

TEST(PortConnectionModes, NtWithDeviceMakesNoServiceCallsAndDestructorOnlyCloses) {
    FakePortSystem os;
    {
        TLptPortConnection conn(os);
        EXPECT_TRUE(conn.IsReady());
        EXPECT_TRUE(conn.HasDevice());
        EXPECT_FALSE(conn.ServiceStarted());
        EXPECT_EQ(os.calls.size(), 2u);  // version query, one open
        EXPECT_EQ(os.calls[1],
                  "CreateFileA \\\\.\\LptAccessAgent 0xC0000000 0x3 0x3 0x80 lasterror=0x0");
        os.calls.clear();
    }
    EXPECT_EQ(os.calls, std::vector<std::string>{"CloseHandle"});
    EXPECT_EQ(os.openHandles, 0);
}

TEST(PortConnectionModes, NtWithoutDeviceRegistersStartsAndDeletesTheService) {
    FakePortSystem os;
    os.deviceOpens = {false, true};
    {
        TLptPortConnection conn(os);
        EXPECT_TRUE(conn.IsReady());
        EXPECT_TRUE(conn.ServiceStarted());
        EXPECT_EQ(conn.DriverPath(), "C:\\Tools\\LPTWDMIO.SYS");
        const std::vector<std::string> expected{
            "LoadLibraryA ADVAPI32.DLL",
            "GetProcAddress OpenSCManagerA",
            "GetProcAddress CloseServiceHandle",
            "GetProcAddress CreateServiceA",
            "GetProcAddress StartServiceA",
            "GetProcAddress OpenServiceA",
            "GetProcAddress DeleteService",
            "OpenSCManagerA 0xF003F",
            "CreateServiceA lptwdmio 'LPT port direct access service' 0xF01FF 0x1 0x3 0x1 "
            "C:\\Tools\\LPTWDMIO.SYS",
            "StartServiceA argc=0",
            "CloseServiceHandle service",
            "CloseServiceHandle manager"};
        EXPECT_EQ(ServiceCalls(os), expected);
        // The second open starts with a cleared last error again.
        EXPECT_EQ(os.calls.back().substr(os.calls.back().size() - 13), "lasterror=0x0");
        os.calls.clear();
    }
    const std::vector<std::string> expected{
        "CloseHandle",   "OpenSCManagerA 0xF003F",     "OpenServiceA lptwdmio 0xF01FF",
        "DeleteService", "CloseServiceHandle service", "CloseServiceHandle manager",
        "FreeLibrary"};
    EXPECT_EQ(os.calls, expected);
    EXPECT_EQ(os.loadedModules, 0);
}

TEST(PortConnectionModes, AlreadyRegisteredServiceIsOpenedStartedAndDeleted) {
    FakePortSystem os;
    os.deviceOpens = {false, true};
    os.serviceRegistered = true;
    {
        TLptPortConnection conn(os);
        EXPECT_TRUE(conn.ServiceStarted());
        EXPECT_TRUE(Called(os, "OpenServiceA lptwdmio"));
        EXPECT_TRUE(Called(os, "StartServiceA"));
    }
    EXPECT_TRUE(os.serviceDeleted);
}

TEST(PortConnectionModes, RefusedStartStillCountsAsStartedAndTheSecondOpenDecides) {
    FakePortSystem os;
    os.deviceOpens = {false};
    os.openError = 2;
    os.startSucceeds = false;
    {
        TLptPortConnection conn(os);
        EXPECT_FALSE(conn.IsReady());
        EXPECT_TRUE(conn.ServiceStarted());
        EXPECT_EQ(os.GetLastErrorCode(), 2u);
        EXPECT_TRUE(os.accesses.empty());  // no probe on an unusable connection
    }
    EXPECT_TRUE(os.serviceDeleted);
}

TEST(PortConnectionModes, LibraryOrManagerFailureIsSilentAndLeavesTheLibraryLoaded) {
    for (bool libraryLoads : {false, true}) {
        FakePortSystem os;
        os.deviceOpens = {false, true};
        os.libraryLoads = libraryLoads;
        os.managerOpens = false;
        {
            TLptPortConnection conn(os);
            EXPECT_TRUE(conn.IsReady()) << "second open decides";
            EXPECT_FALSE(conn.ServiceStarted());
            EXPECT_FALSE(Called(os, "CreateServiceA"));
            EXPECT_EQ(std::count_if(os.calls.begin(), os.calls.end(),
                                    [](auto& c) { return c.rfind("CreateFileA", 0) == 0; }),
                      2);
        }
        EXPECT_FALSE(Called(os, "FreeLibrary"));
        EXPECT_FALSE(Called(os, "DeleteService"));
        EXPECT_EQ(os.loadedModules, libraryLoads ? 1 : 0);
    }
}

TEST(PortConnectionModes, NonNtWithoutDeviceGoesStraightToThePorts) {
    FakePortSystem os;
    os.platformId = 1;
    os.deviceOpens = {false};
    TLptPortConnection conn(os);
    EXPECT_TRUE(conn.IsReady());
    EXPECT_FALSE(Called(os, "LoadLibraryA"));
    EXPECT_EQ(std::count_if(os.calls.begin(), os.calls.end(),
                            [](auto& c) { return c.rfind("CreateFileA", 0) == 0; }),
              1);
    os.accesses.clear();
    EXPECT_TRUE(conn.WriteRegister(PortCode378, RegControl, 0x0C));
    EXPECT_EQ(conn.ReadRegister(PortCode378, RegControl), 0x0C);
    RegisterPair pairs[2] = {{0x20, 0}, {0x31, 0}};
    os.latch[0x279] = 0x7F;
    EXPECT_TRUE(conn.ReadRegisters(pairs, 2));
    EXPECT_EQ(pairs[1].Value, 0x7F);
    const std::vector<PortAccess> expected{W(0x37A, 0x0C), R(0x37A, 0x0C), R(0x378, 0),
                                           R(0x279, 0x7F)};
    EXPECT_EQ(os.accesses, expected);
    EXPECT_TRUE(os.ioctlCodes.empty());
    // A count of 0 touches nothing on the direct path.
    EXPECT_TRUE(conn.WriteRegisters(pairs, 0));
    EXPECT_EQ(os.accesses.size(), expected.size());
}

TEST(PortConnectionOperations, UnusableConnectionSendsNothingAndLeavesPairsAlone) {
    FakePortSystem os;
    os.deviceOpens = {false};
    os.libraryLoads = false;
    TLptPortConnection conn(os);
    ASSERT_FALSE(conn.IsReady());
    os.latch[0x378] = 0x55;
    RegisterPair pair{0x20, 0xA5};
    EXPECT_FALSE(conn.ReadRegisters(&pair, 1));
    EXPECT_FALSE(conn.WriteRegisters(&pair, 1));
    EXPECT_EQ(pair.Value, 0xA5);
    EXPECT_EQ(conn.ReadRegister(PortCode378, RegData), 0);
    EXPECT_FALSE(conn.WriteRegister(PortCode378, RegData, 1));
    EXPECT_FALSE(conn.PortPresent(PortCode378));
    EXPECT_TRUE(os.accesses.empty());
    EXPECT_TRUE(os.ioctlCodes.empty());
}

TEST(PortConnectionOperations, DriverRequestsUseTheControlCodesAndTheLastError) {
    FakePortSystem os;
    TLptPortConnection conn(os);
    os.ioctlCodes.clear();
    EXPECT_TRUE(conn.WriteRegister(PortCode278, RegData, 0x81));
    EXPECT_EQ(conn.ReadRegister(PortCode278, RegData), 0x81);
    EXPECT_EQ(os.ioctlCodes, (std::vector<std::uint32_t>{IoctlWritePorts, IoctlReadPorts}));

    os.ioctlError = 31;  // the driver fails the request
    EXPECT_FALSE(conn.WriteRegister(PortCode278, RegData, 0x00));
    RegisterPair pair{0x30, 0x42};
    EXPECT_FALSE(conn.ReadRegisters(&pair, 1));
    EXPECT_EQ(pair.Value, 0x42) << "a failed read leaves the value byte as it was";
    EXPECT_EQ(conn.ReadRegister(PortCode278, RegData), 0);
}
