// The port connection on its real Linux layer, end to end with lptwdmio: the
// agent it starts from its own folder, an agent already running, and a hung one.
#include <gtest/gtest.h>

#include <glob.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#endif

#include <chrono>
#include <cstring>
#include <fstream>
#include <future>
#include <thread>

#include "AgentProcess.h"
#include "port/AgentProtocol.h"
#include "port/LPTIO.h"
#include "support/Eventually.h"

namespace {

// The real `auto` backend may only run where it cannot find a real port.
bool MachineMayHavePorts() {
    glob_t g{};
    const bool devices = ::glob("/dev/parport*", 0, nullptr, &g) == 0;
    ::globfree(&g);
    struct stat st {};
    if (devices || ::stat("/proc/sys/dev/parport", &st) == 0) {
        return true;
    }
#if defined(__x86_64__) || defined(__i386__)
    if (::ioperm(0x278, 1, 1) == 0) {
        ::ioperm(0x278, 1, 0);
        return true;
    }
#endif
    return false;
}

std::vector<std::string> ProbeOf(std::uint16_t base, bool present) {
    auto hex = [](unsigned v, int width) {
        char b[16];
        std::snprintf(b, sizeof b, "0x%0*X", width, v);
        return std::string(b);
    };
    const std::string d = hex(base, 3);
    if (present) {
        return {"r " + d + " 0x00", "w " + d + " 0x00", "r " + d + " 0x00", "w " + d + " 0x55",
                "r " + d + " 0x55", "w " + d + " 0xAA", "r " + d + " 0xAA", "w " + d + " 0x00"};
    }
    return {"r " + d + " 0xFF",
            "w " + d + " 0x00",
            "r " + d + " 0xFF",
            "w " + d + " 0x55",
            "w " + d + " 0xAA",
            "w " + d + " 0xFF",
            "r " + hex(base + 2, 3) + " 0xFF",
            "r " + hex(base + 1, 3) + " 0xFF"};
}

std::vector<std::string> StartupProbes(bool p3BC, bool p378, bool p278) {
    std::vector<std::string> all;
    for (auto [base, present] : {std::pair{0x3BC, p3BC}, {0x378, p378}, {0x278, p278}}) {
        const auto one = ProbeOf(static_cast<std::uint16_t>(base), present);
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

// The native layer with another executable folder: where a stand-in agent waits.
class FolderOverride : public port::PortSystem {
public:
    explicit FolderOverride(std::string folder) : folder_(std::move(folder)) {}
    port::PortSystem& n = port::NativePortSystem();
    std::uint32_t QueryPlatformId() override { return n.QueryPlatformId(); }
    void SetLastErrorCode(std::uint32_t c) override { n.SetLastErrorCode(c); }
    std::uint32_t GetLastErrorCode() override { return n.GetLastErrorCode(); }
    port::OsHandle OpenDevice(const char* p, std::uint32_t a, std::uint32_t s, std::uint32_t c,
                              std::uint32_t f) override {
        return n.OpenDevice(p, a, s, c, f);
    }
    std::int32_t DeviceControl(port::OsHandle d, std::uint32_t c, void* i, std::uint32_t is,
                               void* o, std::uint32_t os, std::uint32_t* r) override {
        return n.DeviceControl(d, c, i, is, o, os, r);
    }
    std::int32_t CloseDevice(port::OsHandle d) override { return n.CloseDevice(d); }
    port::ModuleHandle LoadModule(const char* m) override { return n.LoadModule(m); }
    void* ResolveProc(port::ModuleHandle m, const char* p) override { return n.ResolveProc(m, p); }
    std::int32_t ReleaseModule(port::ModuleHandle m) override { return n.ReleaseModule(m); }
    std::string ExecutableFolder() override { return folder_; }
    void PortOut(std::uint16_t a, std::uint8_t v) override { n.PortOut(a, v); }
    std::uint8_t PortIn(std::uint16_t a) override { return n.PortIn(a); }

private:
    std::string folder_;
};

}  // namespace

TEST(LinuxConnection, ExecutableFolderIsTheTestsOwnWithTheAgentBesideIt) {
    const std::string folder = port::NativePortSystem().ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(::access((folder + "agent_connection_test").c_str(), X_OK), 0);
    EXPECT_EQ(::access((folder + "lptwdmio").c_str(), X_OK), 0);
}

TEST(LinuxConnection, NoAgentStartsTheOneBesideItWhichFindsNoPort) {
    if (MachineMayHavePorts()) {
        GTEST_SKIP() << "this machine may have a real port; the auto backend stays untried";
    }
    PrivateRuntimeDir runtime;
    TLptPortConnection conn;
    EXPECT_FALSE(conn.IsReady());
    EXPECT_EQ(port::NativePortSystem().GetLastErrorCode(), 2u);
    EXPECT_TRUE(conn.ServiceStarted());
    EXPECT_EQ(conn.DriverPath(), port::NativePortSystem().ExecutableFolder() + "LPTWDMIO.SYS");
    EXPECT_EQ(conn.ReadRegister(PortCode378, RegData), 0);
    EXPECT_FALSE(conn.PortPresent(PortCode378));
}

TEST(LinuxConnection, RunningSimAgentGivesDriverModeAndProbesEachPort) {
    PrivateRuntimeDir runtime;
    const std::string trace = runtime.dir.path + "/trace";
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(runtime.Socket(),
                            {"--backend", "sim", "--ports", "378,278", "--trace", trace}));
    {
        TLptPortConnection conn;
        EXPECT_TRUE(conn.IsReady());
        EXPECT_TRUE(conn.HasDevice());
        EXPECT_FALSE(conn.ServiceStarted());
        EXPECT_FALSE(conn.Present3BC());
        EXPECT_TRUE(conn.Present378());
        EXPECT_TRUE(conn.Present278());
        EXPECT_EQ(TraceLines(trace), StartupProbes(false, true, true));
        EXPECT_TRUE(conn.WriteRegister(PortCode378, RegControl, 0x05));
        EXPECT_EQ(conn.ReadRegister(PortCode378, RegControl), 0xC5);
        // Offsets beyond the three registers still decode and reach the agent.
        EXPECT_EQ(conn.ReadRegister(PortCode378, 7), 0xFF);
    }
    EXPECT_EQ(agent.WaitExit(300), -1);  // an agent we did not start keeps running
}

TEST(LinuxConnection, StartedAgentServesUntilTheConnectionEnds) {
    PrivateRuntimeDir runtime;
    const std::string folder = runtime.dir.path + "/app/";
    ::mkdir(folder.c_str(), 0700);
    // The stand-in records how it was called and runs the real agent on simulated ports.
    const std::string script = folder + "lptwdmio";
    std::ofstream(script) << "#!/bin/sh\necho \"$@\" > '" << folder << "args'\nexec '"
                          << LPTWDMIO_PATH << "' serve --backend sim --trace '" << folder
                          << "trace' --exit-when-idle --detach\n";
    ::chmod(script.c_str(), 0700);
    FolderOverride os(folder);
    {
        TLptPortConnection conn(os);
        EXPECT_TRUE(conn.IsReady());
        EXPECT_TRUE(conn.HasDevice());
        EXPECT_TRUE(conn.ServiceStarted());
        EXPECT_EQ(conn.DriverPath(), folder + "LPTWDMIO.SYS");
        EXPECT_EQ(ReadFile(folder + "args"), "serve --backend auto --exit-when-idle --detach\n");
        EXPECT_TRUE(conn.Present378());
        EXPECT_EQ(TraceLines(folder + "trace"), StartupProbes(false, true, false));
    }
    // Its last client gone, the agent ends and takes its socket with it.
    struct stat st {};
    EXPECT_TRUE(Eventually([&] { return ::lstat(runtime.Socket().c_str(), &st) != 0; }));
}

TEST(LinuxConnection, HungAgentTimesOutRepliesStayMatchedAndNoSigpipe) {
    PrivateRuntimeDir runtime;
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, runtime.Socket().c_str(), sizeof a.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    // A slow agent: answers its first request late, the second at once, then hangs up.
    std::promise<void> lateReplySent;
    std::thread slow([&] {
        const int fd = ::accept(listener, nullptr, nullptr);
        for (std::uint8_t value : {std::uint8_t{0x11}, std::uint8_t{0x22}}) {
            std::uint8_t request[10];
            if (::recv(fd, request, sizeof request, MSG_WAITALL) != 10) {
                break;
            }
            if (value == 0x11) {
                ::usleep(400000);
            }
            std::uint8_t reply[6] = {0, 0, 0, 0, request[8], value};
            ::send(fd, reply, sizeof reply, MSG_NOSIGNAL);
            if (value == 0x11) {
                lateReplySent.set_value();
            }
        }
        ::close(fd);
    });
    port::PortSystem& os = port::NativePortSystem();
    const port::OsHandle device = os.OpenDevice(DevicePath, 0, 0, 0, 0);
    ASSERT_NE(device, port::InvalidHandle);
    RegisterPair pair{0x20, 0};
    std::uint32_t returned = 0;
    os.SetLastErrorCode(0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(os.DeviceControl(device, IoctlReadPorts, &pair, 2, &pair, 2, &returned), 0);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(os.GetLastErrorCode(), std::uint32_t(ETIMEDOUT));
    EXPECT_GE(took, std::chrono::milliseconds(240));

    // The late reply arrives before the next request and must be discarded.
    EXPECT_EQ(lateReplySent.get_future().wait_for(std::chrono::seconds(30)),
              std::future_status::ready);
    os.SetLastErrorCode(0);
    EXPECT_EQ(os.DeviceControl(device, IoctlReadPorts, &pair, 2, &pair, 2, &returned), 1);
    EXPECT_EQ(os.GetLastErrorCode(), 0u);
    EXPECT_EQ(pair.Value, 0x22);
    slow.join();

    // The agent is gone: writing to it must fail with an error, not SIGPIPE.
    for (int i = 0; i < 3; ++i) {
        os.SetLastErrorCode(0);
        EXPECT_EQ(os.DeviceControl(device, IoctlWritePorts, &pair, 2, &pair, 2, &returned), 0);
        EXPECT_NE(os.GetLastErrorCode(), 0u);
    }
    EXPECT_EQ(os.CloseDevice(device), 1);
    ::close(listener);
}
