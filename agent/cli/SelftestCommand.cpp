#include "agent/cli/SelftestCommand.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "agent/backends/PortMap.h"
#include "agent/cli/LoopbackTest.h"
#include "agent/cli/Options.h"
#include "agent/cli/VerbArgs.h"
#include "agent/recording/RecordClient.h"
#include "port/AgentClient.h"
#include "port/LPTIO.h"

extern char** environ;

namespace agent {

const char* const SelftestUsageText =
    "lptwdmio selftest [--port 378] [--plug NAME|list] [--socket PATH]\n"
    "\n"
    "Checks every line of a port through a loopback plug: each output (data pins 2-9,\n"
    "control pins 1, 14, 16, 17) driven high and low, alone and against its neighbours,\n"
    "read back by the port and at the status input (pins 10-13, 15) the plug loops it\n"
    "to. Each line gets pass, stuck high, stuck low, shorted to pin N, or no plug. Then\n"
    "it checks whether the data lines turn to input with the direction bit (PS/2 mode).\n"
    "The port's data and control registers are put back afterwards, also on Ctrl+C.\n"
    "Take any printer or other device off the port first: every output line is driven.\n"
    "\n"
    "  --port 378|278|3BC   the port (default 378)\n"
    "  --plug NAME          the plug fitted (norton, checkit); without it, the plug is\n"
    "                       found from the loops that answer. --plug list draws them.\n"
    "  --socket PATH        the agent's socket; with no agent there, one is started\n"
    "\n"
    "Exit codes: 0 every line tested passes, 1 a line failed, 2 nothing could be\n"
    "tested (no agent, the port not served or held by another driver, no plug, or a\n"
    "usage error).\n";

namespace {

constexpr int ExitPass = 0;
constexpr int ExitCannotTest = 2;

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = 1;
}

void InstallInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

// The agent the way the program starts it: in the background, ending with its
// last client. Its own lines (what it serves, or why it can't) reach the user.
int StartAgent(const std::string& socketPath) {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        return errno;
    }
    self[n] = '\0';
    std::vector<std::string> args{
        self, "serve", "--backend", "auto", "--detach", "--exit-when-idle", "--socket", socketPath};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (int e = ::posix_spawn(&pid, self, nullptr, nullptr, argv.data(), environ); e != 0) {
        return e;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : ENXIO;
}

class AgentTestPort final : public TestPort {
public:
    AgentTestPort(port::agent::AgentClient& client, std::uint16_t base)
        : client_(client), code_(*PortCodeFor(base)) {}

    int Write(std::uint8_t data, std::uint8_t control) override {
        std::uint8_t pairs[] = {code_, data, static_cast<std::uint8_t>(code_ | RegControl),
                                control};
        return client_.Exchange(port::agent::CodeWrite, pairs, 2);
    }

    int Read(PortRegisters& r) override {
        std::uint8_t pairs[] = {code_,
                                0,
                                static_cast<std::uint8_t>(code_ | RegStatus),
                                0,
                                static_cast<std::uint8_t>(code_ | RegControl),
                                0};
        const int e = client_.Exchange(port::agent::CodeRead, pairs, 3);
        r = {pairs[1], pairs[3], pairs[5]};
        return e;
    }

private:
    port::agent::AgentClient& client_;
    std::uint8_t code_;
};

// The agent's line for the port ("0x378 = /dev/parport0 at 0xDC00 (ppdev)"):
// it comes with the first frame of a recording, so a recording of one sample
// asks for it. Empty, with the error, when the port is not served.
std::string ServedAs(const std::string& socketPath, std::uint16_t base, int& error) {
    RecordClient recording;
    error = recording.Start(socketPath, base, 1);
    if (error != 0) {
        return {};
    }
    const std::string& all = recording.BackendName();
    const std::size_t at = all.find(Hex(base) + " = ");
    return at == std::string::npos ? Hex(base) : all.substr(at, all.find('\n', at) - at);
}

}  // namespace

std::optional<SelftestOptions> ParseSelftestOptions(const std::vector<std::string>& args,
                                                    std::string& error) {
    const auto read =
        ReadVerbArgs(args, {"selftest", {"--socket", "--port", "--plug"}, {}, {"--plug"}}, error);
    if (!read) {
        return std::nullopt;
    }
    SelftestOptions o;
    if (read->help) {
        o.help = true;
        return o;
    }
    if (const std::string* v = read->Value("--socket")) {
        o.socketPath = *v;
    }
    if (const std::string* v = read->Value("--port")) {
        const auto base = ParsePortBase(*v, error);
        if (!base) {
            return std::nullopt;
        }
        o.base = *base;
    }
    if (const std::string* v = read->Value("--plug")) {
        if (v->empty() || *v == "list") {
            o.listPlugs = true;  // the plugs to choose from
        } else if (const PlugWiring* plug = FindPlugWiring(*v)) {
            o.plug = plug->name;
        } else {
            error = "unknown plug: " + *v + " (the plugs: " + PlugWiringNames() + ")";
            return std::nullopt;
        }
    }
    return o;
}

std::string PlugWiringTable() {
    std::string text = "The loopback plugs selftest knows (--plug NAME); each joins two pins:\n";
    for (const PlugWiring& plug : PlugWirings()) {
        text += "\n" + plug.name + ": " + plug.about + "\n";
        for (const auto& [out, in] : plug.links) {
            char row[64];
            std::snprintf(row, sizeof row, "  pin %2d %-8s  <->  pin %2d %s\n", out,
                          LineOfPin(out).name, in, LineOfPin(in).name);
            text += row;
        }
    }
    return text;
}

int RunSelftest(const std::vector<std::string>& args) {
    std::string error;
    const auto parsed = ParseSelftestOptions(args, error);
    if (!parsed) {
        std::fprintf(stderr, "lptwdmio: %s\n\nUsage:\n  %s", error.c_str(), SelftestUsageText);
        return ExitCannotTest;
    }
    const SelftestOptions& o = *parsed;
    if (o.help || o.listPlugs) {
        std::fputs(o.help ? SelftestUsageText : PlugWiringTable().c_str(), stdout);
        return ExitPass;
    }
    InstallInterrupt();
    const std::string socketPath = ClientSocketPath(o.socketPath, error);
    if (socketPath.empty()) {
        std::fprintf(stderr, "lptwdmio: %s\n", error.c_str());
        return ExitCannotTest;
    }
    port::agent::AgentClient client;
    int e = client.Open(socketPath);
    if (e == ENOENT && StartAgent(socketPath) == 0) {
        e = client.Open(socketPath);
    }
    if (e != 0) {
        std::fprintf(stderr,
                     "lptwdmio: %s, and none could be started: lptwdmio list says what stands "
                     "in the way\n",
                     ConnectFailure(socketPath, e).c_str());
        return ExitCannotTest;
    }
    const std::string served = ServedAs(socketPath, o.base, e);
    if (e != 0) {
        std::fprintf(
            stderr, "lptwdmio: the agent on %s %s\n", socketPath.c_str(),
            e == ENXIO
                ? ("serves no port at " + Hex(o.base)).c_str()
                : ("cannot be asked about its port: " + std::string(std::strerror(e))).c_str());
        return ExitCannotTest;
    }
    const bool controlReadsLines = served.find("(ppdev)") == std::string::npos;
    std::printf("Testing %s\n", served.c_str());
    std::fflush(stdout);

    AgentTestPort port(client, o.base);
    LoopbackSetup setup;
    setup.plug = o.plug.empty() ? nullptr : FindPlugWiring(o.plug);
    setup.controlReadsLines = controlReadsLines;
    setup.stopRequested = [] { return interrupted != 0; };
    const LoopbackResult result = RunLoopbackTest(port, setup);
    const char* restored = result.restored
                               ? "the port's data and control registers are as they were"
                               : "the port could not be put back as it was";
    if (result.interrupted) {
        std::fprintf(stderr, "lptwdmio: interrupted; %s\n", restored);
        return ExitCannotTest;
    }
    if (result.error != 0) {
        std::fprintf(stderr, "lptwdmio: the test broke off: %s; %s\n", std::strerror(result.error),
                     restored);
        return ExitCannotTest;
    }
    std::fputs(FormatLoopbackResult(result, controlReadsLines).c_str(), stdout);
    if (!result.restored) {
        std::fprintf(stderr, "lptwdmio: %s\n", restored);
    }
    return result.ExitCode();
}

}  // namespace agent
