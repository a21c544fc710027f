// The real agent on a private socket with simulated ports: round trips, the
// command-line clients, atomic batches, hostile clients and socket ownership.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "AgentProcess.h"
#include "port/AgentClient.h"
#include "support/Eventually.h"

using namespace port::agent;

namespace {

class AgentSocket : public ::testing::Test {
protected:
    void SetUp() override {
        socket = dir.path + "/agent";
        trace = dir.path + "/trace";
        ASSERT_TRUE(
            agent.Start(socket, {"--backend", "sim", "--ports", "378,278", "--trace", trace}));
    }
    std::uint8_t ReadOne(std::uint8_t code) {
        AgentClient c;
        EXPECT_EQ(c.Open(socket), 0);
        std::uint8_t pair[2] = {code, 0};
        EXPECT_EQ(c.Exchange(CodeRead, pair, 1), 0);
        return pair[1];
    }
    TempDir dir;
    std::string socket, trace;
    AgentProcess agent;
};

}  // namespace

TEST_F(AgentSocket, RoundTripsCommandLineClientsAndTrace) {
    AgentClient c;
    ASSERT_EQ(c.Open(socket), 0);
    std::uint8_t write[] = {0x20, 0x5A, 0x22, 0x05, 0x30, 0xA5};
    ASSERT_EQ(c.Exchange(CodeWrite, write, 3), 0);
    std::uint8_t read[] = {0x20, 0, 0x22, 0, 0x30, 0, 0x10, 0};
    ASSERT_EQ(c.Exchange(CodeRead, read, 4), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(read, read + 8),
              (std::vector<std::uint8_t>{0x20, 0x5A, 0x22, 0xC5, 0x30, 0xA5, 0x10, 0xFF}));

    const std::string bin = LPTWDMIO_PATH;
    std::string out;
    EXPECT_EQ(RunProgram({bin, "read", "0x378", "--socket", socket}, &out), 0);
    EXPECT_EQ(out, "0x5A\n");
    EXPECT_EQ(RunProgram({bin, "write", "0x37A", "0x0c", "--socket", socket}), 0);
    EXPECT_EQ(RunProgram({bin, "set-status", "0x279", "0x78", "--socket", socket}), 0);
    out.clear();
    EXPECT_EQ(RunProgram({bin, "read", "0x279", "--socket", socket}, &out), 0);
    EXPECT_EQ(out, "0x78\n");
    EXPECT_EQ(RunProgram({bin, "set-status", "0x3BC", "0x78", "--socket", socket}), 2);
    EXPECT_EQ(RunProgram({bin, "read", "0x378", "--socket", dir.path + "/nobody"}), 2);
    EXPECT_EQ(RunProgram({bin, "read", "0x400", "--socket", socket}), 1);
    out.clear();
    EXPECT_EQ(RunProgram({bin, "--help"}, &out), 0);
    EXPECT_NE(out.find("lptwdmio serve [--backend auto|ppdev|direct|sim]"), std::string::npos);

    const auto lines = TraceLines(trace);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(
        std::vector<std::string>(lines.begin(), lines.begin() + 7),
        (std::vector<std::string>{"w 0x378 0x5A", "w 0x37A 0x05", "w 0x278 0xA5", "r 0x378 0x5A",
                                  "r 0x37A 0xC5", "r 0x278 0xA5", "r 0x3BC 0xFF"}));
    // Each line carries the client's pid: this process for the first batches.
    const std::string text = ReadFile(trace);
    EXPECT_NE(text.find(" " + std::to_string(::getpid()) + "\n"), std::string::npos);
}

TEST_F(AgentSocket, BatchesAreAtomicWithTwoClients) {
    std::atomic<bool> done{false};
    std::thread writer([&] {
        AgentClient c;
        ASSERT_EQ(c.Open(socket), 0);
        for (int i = 0; i < 1500; ++i) {
            std::uint8_t batch[] = {0x20, 0x01, 0x20, 0x02, 0x20, 0x03, 0x20, 0x04};
            if (i % 2) {
                batch[1] = 0x11, batch[3] = 0x12, batch[5] = 0x13, batch[7] = 0x14;
            }
            ASSERT_EQ(c.Exchange(CodeWrite, batch, 4), 0);
        }
        done = true;
    });
    AgentClient c;
    ASSERT_EQ(c.Open(socket), 0);
    int reads = 0;
    while (!done || reads < 100) {
        std::uint8_t batch[] = {0x20, 0, 0x21, 0, 0x20, 0};
        ASSERT_EQ(c.Exchange(CodeRead, batch, 3), 0);
        // Only a batch's final value is ever visible, and it holds for a whole batch.
        EXPECT_TRUE(batch[1] == 0x00 || batch[1] == 0x04 || batch[1] == 0x14) << int(batch[1]);
        EXPECT_EQ(batch[1], batch[5]);
        ++reads;
    }
    writer.join();
}

TEST_F(AgentSocket, MalformedRequestsNeverHarmOtherClients) {
    // A client stuck half-way through a request must not block anybody.
    const int slow = RawConnect(socket);
    ASSERT_GE(slow, 0);
    auto half = Header(CodeRead, 2);
    half.push_back(0x20);
    ASSERT_TRUE(SendRaw(slow, half));
    EXPECT_EQ(ReadOne(0x20), 0x00);

    for (std::uint32_t n : {0u, 4097u, 0xFFFFFFFFu}) {
        const int fd = RawConnect(socket);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(SendRaw(fd, Header(CodeRead, n)));
        const auto reply = ReadToEnd(fd);  // an error, then the agent hangs up
        ASSERT_EQ(reply.size(), 4u) << n;
        EXPECT_EQ(LoadU32(reply.data()), std::uint32_t(EINVAL));
        ::close(fd);
    }
    {
        // An unknown code gets an error reply and the connection stays usable.
        const int fd = RawConnect(socket);
        auto bad = Header(0xDEAD, 1);
        bad.insert(bad.end(), {0x20, 0x99});
        auto good = Header(CodeRead, 1);
        good.insert(good.end(), {0x20, 0x00});
        bad.insert(bad.end(), good.begin(), good.end());
        ASSERT_TRUE(SendRaw(fd, bad));  // both requests in one go
        std::uint8_t reply[12] = {};
        ASSERT_EQ(::recv(fd, reply, sizeof reply, MSG_WAITALL), 12);
        EXPECT_EQ(LoadU32(reply), std::uint32_t(EINVAL));
        EXPECT_EQ(reply[5], 0x99);
        EXPECT_EQ(LoadU32(reply + 6), 0u);
        ::close(fd);
    }
    {
        // Truncated for good, and pure garbage: the agent just drops them.
        const int fd = RawConnect(socket);
        auto cut = Header(CodeWrite, 4096);
        cut.resize(cut.size() + 100, 0x20);
        ASSERT_TRUE(SendRaw(fd, cut));
        ::close(fd);
        const int junk = RawConnect(socket);
        ASSERT_TRUE(SendRaw(junk, std::vector<std::uint8_t>(20000, 0xFF)));
        ::close(junk);
    }
    {
        // A client that never reads its replies only stalls itself.
        const int greedy = RawConnect(socket);
        auto big = Header(CodeRead, 4096);
        big.resize(big.size() + 8192, 0x20);
        for (int i = 0; i < 40; ++i) {
            ::send(greedy, big.data(), big.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        EXPECT_EQ(ReadOne(0x20), 0x00);
        ::close(greedy);
    }
    ::close(slow);
    EXPECT_EQ(ReadOne(0x22), 0xCC);
    EXPECT_EQ(agent.WaitExit(0), -1);  // still running
}

TEST_F(AgentSocket, PrivateSocketNeverStolenStaleOneReplaced) {
    struct stat st {};
    ASSERT_EQ(::lstat(socket.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(RunProgram({LPTWDMIO_PATH, "serve", "--backend", "sim", "--socket", socket}), 3);
    EXPECT_EQ(ReadOne(0x20), 0x00);
    EXPECT_EQ(agent.Stop(), 0);
    EXPECT_NE(::lstat(socket.c_str(), &st), 0);  // removed on the way out

    // A socket file left by an agent that died.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, socket.c_str(), sizeof a.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::close(fd);
    ASSERT_TRUE(agent.Start(socket, {"--backend", "sim"}));
    EXPECT_EQ(ReadOne(0x20), 0x00);
    agent.Stop();

    // A regular file of that name is not ours to delete.
    ::close(::open(socket.c_str(), O_CREAT | O_WRONLY, 0600));
    EXPECT_EQ(RunProgram({LPTWDMIO_PATH, "serve", "--backend", "sim", "--socket", socket}), 1);
    // Nor is a folder anybody may write to.
    const std::string open = dir.path + "/open";
    ::mkdir(open.c_str(), 0777);
    ::chmod(open.c_str(), 0777);
    EXPECT_EQ(RunProgram({LPTWDMIO_PATH, "serve", "--backend", "sim", "--socket", open + "/agent"}),
              1);
}

TEST(AgentLifetime, DetachReturnsWhenAcceptingAndIdleAgentEnds) {
    TempDir dir;
    const std::string socket = dir.path + "/agent";
    ASSERT_EQ(RunProgram({LPTWDMIO_PATH, "serve", "--backend", "sim", "--socket", socket,
                          "--exit-when-idle", "--detach"}),
              0);
    struct stat st {};
    {
        AgentClient a, b;
        ASSERT_EQ(a.Open(socket), 0);  // at once: --detach returned only when ready
        ASSERT_EQ(b.Open(socket), 0);
        a.Close();
        ::usleep(300000);
        std::uint8_t pair[2] = {0x20, 0};
        EXPECT_EQ(b.Exchange(CodeRead, pair, 1), 0);  // one client left: still serving
    }
    EXPECT_TRUE(Eventually([&] { return ::lstat(socket.c_str(), &st) != 0; }));
    AgentClient late;
    EXPECT_EQ(late.Open(socket), ENOENT);
    // A detached start that finds no backend reports it with the agent's own code.
    EXPECT_EQ(RunProgram({LPTWDMIO_PATH, "serve", "--backend", "ppdev", "--socket", socket,
                          "--exit-when-idle", "--detach"}),
              2);
}

TEST_F(AgentSocket, AnotherUserIsRefused) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as a second user";
    }
    // Loosen the file permissions on purpose: the peer check must hold on its own.
    ::chmod(dir.path.c_str(), 0755);
    ::chmod(socket.c_str(), 0666);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(10);
        }
        const int fd = RawConnect(socket);
        if (fd < 0) {
            ::_exit(11);
        }
        auto request = Header(CodeWrite, 1);
        request.insert(request.end(), {0x20, 0x77});
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        std::uint8_t reply[6];
        ::_exit(::recv(fd, reply, sizeof reply, MSG_WAITALL) <= 0 ? 0 : 12);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadOne(0x20), 0x00);  // the write never happened
}

// The other way round: the program's side does not take an agent of another
// user (who could answer anything) for its driver.
TEST(AgentClientPeer, AnAgentOfAnotherUserIsNotTalkedTo) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to start an agent as a second user";
    }
    char folder[] = "/tmp/lpt-peer-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    ::chmod(folder, 01777);  // sticky like /tmp, so that the other user may bind there
    const std::string socket = std::string(folder) + "/LptAccessAgent";
    const pid_t agent = ::fork();
    if (agent == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(10);
        }
        ::execl(LPTWDMIO_PATH, "lptwdmio", "serve", "--backend", "sim", "--socket", socket.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(11);
    }
    struct stat st {};
    (void)Eventually([&] { return ::stat(socket.c_str(), &st) == 0; });
    // The name exists from bind on; until listen a connect is refused (ENOENT).
    port::agent::AgentClient client;
    int error = ENOENT;
    (void)Eventually([&] { return (error = client.Open(socket)) != ENOENT; });
    ::kill(agent, SIGTERM);
    int status = 0;
    if (!Eventually([&] { return ::waitpid(agent, &status, WNOHANG) == agent; },
                    std::chrono::seconds(10))) {
        ADD_FAILURE() << "the agent did not end on SIGTERM; it waits in "
                      << ReadFile("/proc/" + std::to_string(agent) + "/wchan");
        ::kill(agent, SIGKILL);
        ::waitpid(agent, &status, 0);
    }
    ::unlink(socket.c_str());
    ::rmdir(folder);
    ASSERT_EQ(st.st_uid, 65534u) << "the agent did not come up as the other user";
    EXPECT_EQ(error, EACCES);
}
