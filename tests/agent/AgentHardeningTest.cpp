// The agent against a hostile second user and against faults of its own
// surroundings: names held by others, outputs that lead elsewhere or stop
// reading, descriptors running out, more clients than it serves.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "AgentProcess.h"
#include "port/AgentClient.h"
#include "support/Eventually.h"

using namespace port::agent;

namespace {

const std::string Bin = LPTWDMIO_PATH;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The command's exit code, with its standard error in `err`.
int RunWithStderr(std::vector<std::string> argv, std::string& err) {
    argv.insert(argv.begin(), {"/bin/sh", "-c", "\"$0\" \"$@\" 2>&1 >/dev/null"});
    err.clear();
    return RunProgram(argv, &err);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// CPU seconds the process has used (user + system).
double CpuSeconds(pid_t pid) {
    std::istringstream in(ReadFile("/proc/" + std::to_string(pid) + "/stat"));
    std::string field;
    long long ticks = 0;
    for (int i = 1; in >> field && i <= 15; ++i) {
        if (i == 14 || i == 15) {
            ticks += std::stoll(field);
        }
    }
    return double(ticks) / double(::sysconf(_SC_CLK_TCK));
}

std::vector<std::uint8_t> ReadRequest(std::uint8_t code = 0x20) {
    auto request = Header(CodeRead, 1);
    request.insert(request.end(), {code, 0x00});
    return request;
}

}  // namespace

TEST(AgentHardening, NamesHeldByOthersAreRefusedNamingWhatIsThere) {
    TempDir dir;
    std::string err;
    const std::string socket = dir.path + "/agent";
    ASSERT_EQ(::symlink("/etc/passwd", (socket + ".lock").c_str()), 0);
    EXPECT_EQ(RunWithStderr({Bin, "serve", "--backend", "sim", "--socket", socket}, err), 1);
    EXPECT_TRUE(Has(err, "a symbolic link")) << err;
    EXPECT_TRUE(Has(err, "another user holds the name")) << err;

    const std::string file = dir.path + "/file";
    std::ofstream(file) << "";
    EXPECT_EQ(RunWithStderr({Bin, "serve", "--backend", "sim", "--socket", file + "/agent"}, err),
              1);
    EXPECT_TRUE(Has(err, file + " is a file, not a folder")) << err;

    if (::geteuid() == 0) {
        const std::string theirs = dir.path + "/theirs";
        ::mkdir(theirs.c_str(), 0755);
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
        EXPECT_EQ(
            RunWithStderr({Bin, "serve", "--backend", "sim", "--socket", theirs + "/agent"}, err),
            1);
        EXPECT_TRUE(Has(err, theirs + " belongs to user ")) << err;
        EXPECT_TRUE(Has(err, "(uid 65534)")) << err;
    }
}

TEST(AgentHardening, NothingTheAgentMadeStaysBehind) {
    TempDir dir;
    const std::string socket = dir.path + "/agent";
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(socket, {"--backend", "sim"}));
    ASSERT_TRUE(Exists(socket + ".lock"));
    EXPECT_EQ(agent.Stop(), 0);
    EXPECT_FALSE(Exists(socket));
    EXPECT_FALSE(Exists(socket + ".lock"));

    const std::string tooLong = dir.path + "/" + std::string(120, 'a');
    std::string err;
    EXPECT_EQ(RunWithStderr({Bin, "serve", "--backend", "sim", "--socket", tooLong}, err), 1);
    EXPECT_TRUE(Has(err, "socket path too long")) << err;
    EXPECT_FALSE(Exists(tooLong + ".lock"));
}

// A trace whose reader stopped (a FIFO, `--trace /dev/stdout | less`) must not
// stop the ports: lines are dropped, and the trace says how many.
TEST(AgentHardening, ATraceThatCannotBeWrittenNeverStopsThePorts) {
    TempDir dir;
    const std::string fifo = dir.path + "/trace", socket = dir.path + "/agent";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string err;
    EXPECT_EQ(
        RunWithStderr({Bin, "serve", "--backend", "sim", "--socket", socket, "--trace", fifo}, err),
        1);
    EXPECT_TRUE(Has(err, "a FIFO that no program reads")) << err;

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(socket, {"--backend", "sim", "--trace", fifo}));
    AgentClient client;
    ASSERT_EQ(client.Open(socket), 0);
    std::vector<std::uint8_t> pairs(2 * MaxPairs);
    for (std::size_t i = 0; i < pairs.size(); i += 2) {
        pairs[i] = 0x20;
    }
    // Far more than a pipe holds, and nobody reads: every request is still answered.
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(client.Exchange(CodeRead, pairs.data(), MaxPairs), 0) << "request " << i;
    }
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, std::size_t(n));
    }
    std::uint8_t pair[2] = {0x20, 0};
    ASSERT_EQ(client.Exchange(CodeRead, pair, 1), 0);
    ASSERT_TRUE(Eventually([&] {
        const ssize_t n = ::read(reader, buffer, sizeof buffer);
        text.append(buffer, n > 0 ? std::size_t(n) : 0);
        return Has(text, " dropped ");
    }));
    // Whole lines only: every line has the trace's five fields or is the mark.
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
        EXPECT_TRUE(f.size() == 5 || (f.size() == 3 && f[1] == "dropped")) << line;
    }
    ::close(reader);
    EXPECT_EQ(agent.Stop(), 0);
}

// Output paths in shared folders: a planted link, a file of another user or a
// second name of a file are refused, and nothing is written or emptied.
TEST(AgentHardening, OutputFilesAreNeverOpenedThroughLinks) {
    TempDir dir;
    const std::string victim = dir.path + "/victim", link = dir.path + "/link";
    std::ofstream(victim) << "keep me\n";
    ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
    const std::string socket = dir.path + "/agent";
    std::string err;
    EXPECT_EQ(
        RunWithStderr({Bin, "serve", "--backend", "sim", "--socket", socket, "--trace", link}, err),
        1);
    EXPECT_TRUE(Has(err, "is a symbolic link")) << err;

    AgentProcess agent;
    ASSERT_TRUE(agent.Start(socket, {"--backend", "sim"}));
    EXPECT_EQ(RunWithStderr({Bin, "record", "--socket", socket, "--out", link}, err), 1);
    EXPECT_TRUE(Has(err, "is a symbolic link")) << err;
    const std::string second = dir.path + "/second";
    ASSERT_EQ(::link(victim.c_str(), second.c_str()), 0);
    EXPECT_EQ(RunWithStderr({Bin, "record", "--socket", socket, "--out", second}, err), 1);
    EXPECT_TRUE(Has(err, "other hard links")) << err;
    if (::geteuid() == 0) {
        const std::string theirs = dir.path + "/theirs";
        std::ofstream(theirs) << "theirs\n";
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
        EXPECT_EQ(RunWithStderr({Bin, "record", "--socket", socket, "--out", theirs}, err), 1);
        EXPECT_TRUE(Has(err, "belongs to user")) << err;
        EXPECT_EQ(ReadFile(theirs), "theirs\n");
    }
    // A FIFO nobody reads is named, not waited for.
    const std::string fifo = dir.path + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(RunWithStderr({Bin, "record", "--socket", socket, "--out", fifo}, err), 1);
    EXPECT_TRUE(Has(err, "a FIFO that no program reads")) << err;
    EXPECT_EQ(ReadFile(victim), "keep me\n");
}

// Out of descriptors the agent neither spins nor leaves clients hanging: each
// is served or told why not, and it goes on serving.
TEST(AgentHardening, OutOfDescriptorsEveryClientIsAnsweredWithoutSpinning) {
#ifdef __SANITIZE_ADDRESS__
    // UBSan proves memory readable through a pipe: with no descriptor left it
    // takes every virtual call for a fault. The plain build runs this test.
    GTEST_SKIP() << "the sanitizers need descriptors of their own";
#endif
    TempDir dir;
    const std::string socket = dir.path + "/agent";
    const pid_t pid = StartProgram({"/bin/sh", "-c", "ulimit -n 14 && exec \"$0\" \"$@\"", Bin,
                                    "serve", "--backend", "sim", "--socket", socket});
    // A failed assertion must not leave the agent holding the test's output open.
    struct KillOnExit {
        pid_t pid;
        ~KillOnExit() {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                WaitProgram(pid);
            }
        }
    } guard{pid};
    AgentClient probe;
    ASSERT_TRUE(Eventually([&] { return probe.Open(socket) == 0; }));
    probe.Close();
    std::vector<int> clients;
    for (int i = 0; i < 16; ++i) {
        const int fd = RawConnect(socket);
        ASSERT_GE(fd, 0);
        // A refused client may find the agent gone before it sends (EPIPE);
        // the reason waits in its socket all the same.
        SendRaw(fd, ReadRequest());
        clients.push_back(fd);
    }
    const double cpuBefore = CpuSeconds(pid);
    int served = 0, refused = 0;
    for (int fd : clients) {
        std::uint8_t reply[6] = {};
        const ssize_t n = ::recv(fd, reply, sizeof reply, MSG_WAITALL);
        if (n == 6 && LoadU32(reply) == 0) {
            ++served;
        } else if (n == 4 && LoadU32(reply) == std::uint32_t(EMFILE)) {
            ++refused;
        } else {
            ADD_FAILURE() << "no answer: " << n << " bytes";
        }
    }
    EXPECT_GT(served, 0);
    EXPECT_GT(refused, 0);
    ::usleep(500000);
    // A spinning loop burns the whole half second; a waiting one next to nothing.
    EXPECT_LT(CpuSeconds(pid) - cpuBefore, 0.25);
    for (int fd : clients) {
        ::close(fd);
    }
    AgentClient late;
    ASSERT_TRUE(Eventually([&] { return late.Open(socket) == 0; }));
    std::uint8_t pair[2] = {0x20, 0};
    EXPECT_EQ(late.Exchange(CodeRead, pair, 1), 0);
    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitProgram(pid), 0);
    guard.pid = -1;
}

// Beyond its clients the agent says why; a request left half-sent ends with a
// reply; an idle connection gives its place to a newcomer.
TEST(AgentHardening, ClientsBeyondTheLimitAreToldWhyAndStalledRequestsEnd) {
    TempDir dir;
    const std::string socket = dir.path + "/agent";
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(socket, {"--backend", "sim"}));
    // 64 clients, each made sure of its place by one answered request.
    std::vector<int> idle;
    while (idle.size() < 64) {
        const int fd = RawConnect(socket);
        ASSERT_GE(fd, 0);
        SendRaw(fd, ReadRequest());
        std::uint8_t reply[6] = {};
        if (::recv(fd, reply, sizeof reply, MSG_WAITALL) == 6) {
            idle.push_back(fd);
        } else {
            ::close(fd);  // the place of a client just going was not free yet
        }
    }
    const int late = RawConnect(socket);
    SendRaw(late, ReadRequest());
    const auto refusal = ReadToEnd(late);
    ASSERT_EQ(refusal.size(), 4u);
    EXPECT_EQ(LoadU32(refusal.data()), std::uint32_t(EUSERS));
    ::close(late);
    std::string err;
    EXPECT_EQ(RunWithStderr({Bin, "read", "0x378", "--socket", socket}, err), 2);
    EXPECT_TRUE(Has(err, "serves as many clients as it may")) << err;

    auto half = Header(CodeRead, 2);
    half.push_back(0x20);
    ASSERT_TRUE(SendRaw(idle[0], half));
    timeval patient{10, 0};
    ::setsockopt(idle[0], SOL_SOCKET, SO_RCVTIMEO, &patient, sizeof patient);
    std::uint8_t reply[4] = {};
    ASSERT_EQ(::recv(idle[0], reply, sizeof reply, MSG_WAITALL), 4);
    EXPECT_EQ(LoadU32(reply), std::uint32_t(ETIMEDOUT));
    // By now the others have been idle long enough to give way.
    AgentClient newcomer;
    ASSERT_EQ(newcomer.Open(socket), 0);
    std::uint8_t pair[2] = {0x20, 0};
    EXPECT_EQ(newcomer.Exchange(CodeRead, pair, 1), 0);
    for (int fd : idle) {
        ::close(fd);
    }
}
