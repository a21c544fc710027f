// The agent dying under a connection that polls it, and coming back: requests
// fail fast meanwhile, and the same connection object works again afterwards.
// Also many clients in a row, which must not wear the agent out.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "AgentProcess.h"
#include "port/AgentClient.h"
#include "port/LPTIO.h"
#include "support/Eventually.h"

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

// A listener at path that never accepts: shows whether anybody tried to connect.
int SilentListener(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int OpenFdCount(pid_t pid) {
    DIR* d = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (d == nullptr) {
        return -1;
    }
    int n = 0;
    while (::readdir(d) != nullptr) {
        ++n;
    }
    ::closedir(d);
    return n;
}

}  // namespace

TEST(AgentReconnect, KilledAgentFailsFastThenTheSameConnectionWorksAgain) {
    // A default SIGPIPE action would end this process on a write to the dead agent.
    ASSERT_NE(::signal(SIGPIPE, SIG_DFL), SIG_ERR);
    PrivateRuntimeDir runtime;
    const std::string trace = runtime.dir.path + "/trace";
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(runtime.Socket(), {"--backend", "sim", "--ports", "378"}));
    TLptPortConnection conn;
    ASSERT_TRUE(conn.IsReady());
    ASSERT_TRUE(conn.HasDevice());
    ASSERT_TRUE(conn.WriteRegister(PortCode378, RegData, 0x33));
    ASSERT_EQ(conn.ReadRegister(PortCode378, RegData), 0x33);

    ::kill(agent.Pid(), SIGKILL);
    agent.WaitExit(2000);
    ASSERT_EQ(agent.Pid(), -1);

    // Polling the dead agent: every request fails, none waits for a reply's timeout.
    auto slowest = Clock::duration::zero();
    for (int i = 0; i < 60; ++i) {
        RegisterPair pair{PortCode378 | RegStatus, 0};
        const auto start = Clock::now();
        const bool ok = i % 3 == 0 ? conn.WriteRegisters(&pair, 1) : conn.ReadRegisters(&pair, 1);
        slowest = std::max(slowest, Clock::now() - start);
        EXPECT_FALSE(ok) << i;
        const std::uint32_t error = port::NativePortSystem().GetLastErrorCode();
        EXPECT_NE(error, 0u) << i;
        EXPECT_NE(error, std::uint32_t(ETIMEDOUT)) << i;
        ::usleep(2000);
    }
    std::printf("slowest request to the dead agent: %lld us\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::microseconds>(slowest).count()));
    EXPECT_TRUE(conn.IsReady());  // still driver mode, with its device
    EXPECT_TRUE(conn.HasDevice());

    // Right after a failed reconnect no request tries again: a listener that
    // appears at once sees nobody knocking for a while. Only requests made well
    // inside that while count, however late this process gets to make them.
    ::usleep(250000);
    const auto failed = Clock::now();
    EXPECT_EQ(conn.ReadRegister(PortCode378, RegData), 0x00);
    const int listener = SilentListener(runtime.Socket());
    ASSERT_GE(listener, 0);
    while (Clock::now() - failed < milliseconds(100)) {
        EXPECT_EQ(conn.ReadRegister(PortCode378, RegData), 0x00);
    }
    EXPECT_LT(::accept(listener, nullptr, nullptr), 0);
    EXPECT_EQ(errno, EAGAIN);
    ::close(listener);
    ::unlink(runtime.Socket().c_str());

    // The agent back on the same socket: the next requests reach it.
    ASSERT_TRUE(
        agent.Start(runtime.Socket(), {"--backend", "sim", "--ports", "378", "--trace", trace}));
    EXPECT_TRUE(Eventually([&] { return conn.WriteRegister(PortCode378, RegData, 0x5A); }));
    EXPECT_EQ(conn.ReadRegister(PortCode378, RegData), 0x5A);
    EXPECT_EQ(port::NativePortSystem().GetLastErrorCode(), 0u);
    EXPECT_TRUE(conn.WriteRegister(PortCode378, RegControl, 0x05));
    EXPECT_EQ(conn.ReadRegister(PortCode378, RegControl), 0xC5);
    EXPECT_EQ(TraceLines(trace), (std::vector<std::string>{"w 0x378 0x5A", "r 0x378 0x5A",
                                                           "w 0x37A 0x05", "r 0x37A 0xC5"}));
}

TEST(AgentReconnect, AnAgentBackAlreadyIsReachedByTheRequestAfterTheFailedOne) {
    PrivateRuntimeDir runtime;
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(runtime.Socket(), {"--backend", "sim", "--ports", "378"}));
    port::PortSystem& os = port::NativePortSystem();
    const port::OsHandle device = os.OpenDevice(DevicePath, 0, 0, 0, 0);
    ASSERT_NE(device, port::InvalidHandle);
    ::kill(agent.Pid(), SIGKILL);
    agent.WaitExit(2000);
    ASSERT_TRUE(agent.Start(runtime.Socket(), {"--backend", "sim", "--ports", "378"}));
    // The old connection's failure is only found by using it...
    RegisterPair pair{0x20, 0x77};
    std::uint32_t returned = 0;
    os.SetLastErrorCode(0);
    EXPECT_EQ(os.DeviceControl(device, IoctlWritePorts, &pair, 2, &pair, 2, &returned), 0);
    EXPECT_NE(os.GetLastErrorCode(), 0u);
    // ...and the very next request connects anew without waiting.
    os.SetLastErrorCode(0);
    EXPECT_EQ(os.DeviceControl(device, IoctlWritePorts, &pair, 2, &pair, 2, &returned), 1);
    EXPECT_EQ(returned, 2u);
    pair.Value = 0;
    EXPECT_EQ(os.DeviceControl(device, IoctlReadPorts, &pair, 2, &pair, 2, &returned), 1);
    EXPECT_EQ(pair.Value, 0x77);
    EXPECT_EQ(os.CloseDevice(device), 1);
}

TEST(AgentReconnect, AHungAgentKilledAndStartedAgainIsReachedAgain) {
    PrivateRuntimeDir runtime;
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(runtime.Socket(), {"--backend", "sim", "--ports", "378"}));
    TLptPortConnection conn;
    ASSERT_TRUE(conn.IsReady());
    ::kill(agent.Pid(), SIGSTOP);
    EXPECT_FALSE(conn.WriteRegister(PortCode378, RegData, 0x11));  // times out
    EXPECT_EQ(port::NativePortSystem().GetLastErrorCode(), std::uint32_t(ETIMEDOUT));
    ::kill(agent.Pid(), SIGKILL);
    agent.WaitExit(2000);
    ASSERT_TRUE(agent.Start(runtime.Socket(), {"--backend", "sim", "--ports", "378"}));
    EXPECT_TRUE(Eventually([&] { return conn.WriteRegister(PortCode378, RegData, 0x22); }));
    EXPECT_EQ(conn.ReadRegister(PortCode378, RegData), 0x22);
}

TEST(AgentReconnect, AThousandConnectsInARowLeaveTheAgentAsItWas) {
    TempDir dir;
    const std::string socket = dir.path + "/agent";
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(socket, {"--backend", "sim", "--ports", "378"}));
    // The start-up probe's connection may still be open here; it only lowers the count.
    const int fdsBefore = OpenFdCount(agent.Pid());
    ASSERT_GT(fdsBefore, 0);
    const auto start = Clock::now();
    for (int i = 0; i < 1000; ++i) {
        port::agent::AgentClient c;
        ASSERT_EQ(c.Open(socket), 0) << i;
        if (i % 2 == 0) {
            std::uint8_t pair[2] = {0x20, static_cast<std::uint8_t>(i)};
            ASSERT_EQ(c.Exchange(port::agent::CodeWrite, pair, 1), 0) << i;
        }  // odd ones connect and hang up without a word
    }
    const auto took = Clock::now() - start;
    port::agent::AgentClient last;
    ASSERT_EQ(last.Open(socket), 0);
    std::uint8_t pair[2] = {0x20, 0};
    ASSERT_EQ(last.Exchange(port::agent::CodeRead, pair, 1), 0);
    EXPECT_EQ(pair[1], std::uint8_t(998));
    last.Close();
    // Every connection's descriptor is given back.
    int fdsAfter = -1;
    EXPECT_TRUE(Eventually([&] { return (fdsAfter = OpenFdCount(agent.Pid())) <= fdsBefore; }))
        << fdsAfter << " descriptors open, " << fdsBefore << " before";
    std::printf("1000 connects took %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<milliseconds>(took).count()));
    EXPECT_EQ(agent.WaitExit(0), -1);
}
