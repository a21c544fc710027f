// lptwdmio: the Linux port access agent and its small command-line clients.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "agent/cli/Options.h"
#include "agent/cli/PortList.h"
#include "agent/cli/PulseCommand.h"
#include "agent/cli/PulsesCommand.h"
#include "agent/cli/RecordCommand.h"
#include "agent/cli/SelftestCommand.h"
#include "agent/cli/VerbArgs.h"
#include "agent/serving/Server.h"
#include "port/AgentClient.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitUsage = 1;
constexpr int ExitNoBackend = 2;

void OnStopSignal(int) {
    agent::Server::RequestStop();
}

void InstallSignals() {
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    ::sigaction(SIGTERM, &stop, nullptr);
    ::sigaction(SIGINT, &stop, nullptr);
    ::sigaction(SIGHUP, &stop, nullptr);
}

void RedirectToNull(int fd) {
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, fd);
        ::close(null);
    }
}

// --detach: the parent returns only once the child's socket accepts, or with
// the child's own failure code.
int DetachOrContinue(int& readyFd) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        std::perror("lptwdmio: pipe");
        return ExitNoBackend;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        std::perror("lptwdmio: fork");
        return ExitNoBackend;
    }
    if (child == 0) {
        ::close(pipeFds[0]);
        ::setsid();
        readyFd = pipeFds[1];
        return -1;
    }
    ::close(pipeFds[1]);
    char byte = 0;
    ssize_t n;
    do {
        n = ::read(pipeFds[0], &byte, 1);
    } while (n < 0 && errno == EINTR);
    if (n == 1) {
        return ExitOk;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : ExitNoBackend;
}

int Serve(const agent::Options& o, const std::string& socketPath) {
    int readyFd = -1;
    if (o.detach) {
        if (int code = DetachOrContinue(readyFd); code >= 0) {
            return code;
        }
    }
    agent::ServerOptions serverOptions;
    serverOptions.socketPath = socketPath;
    serverOptions.exitWhenIdle = o.exitWhenIdle;
    agent::Server server(serverOptions);
    std::string message;
    if (int code = server.Reserve(message); code != 0) {
        std::fprintf(stderr, "lptwdmio: %s\n", message.c_str());
        return code;
    }
    agent::OpenedBackend opened = agent::OpenBackend(o.backend, agent::BackendEnv{});
    if (!opened.backend) {
        std::fprintf(stderr, "lptwdmio: no port backend could be opened:\n%s",
                     opened.report.c_str());
        return ExitNoBackend;
    }
    if (!opened.report.empty()) {
        std::fprintf(stderr, "lptwdmio: %s", opened.report.c_str());
    }
    agent::Trace trace;
    if (!o.tracePath.empty()) {
        if (!trace.Open(o.tracePath, message)) {
            std::fprintf(stderr, "lptwdmio: --trace: %s\n", message.c_str());
            return ExitUsage;
        }
    }
    if (server.Listen(message) != 0) {
        std::fprintf(stderr, "lptwdmio: %s\n", message.c_str());
        return ExitNoBackend;
    }
    // One line per port, "0x378 = /dev/parport0 at 0xDC00 (ppdev)": scripts read it.
    std::fprintf(stderr, "lptwdmio: serving on %s:\n", socketPath.c_str());
    const std::string ports = opened.backend->Describe();
    for (std::size_t at = 0, end; (end = ports.find('\n', at)) != std::string::npos; at = end + 1) {
        std::fprintf(stderr, "lptwdmio:   %s\n", ports.substr(at, end - at).c_str());
    }
    if (readyFd >= 0) {
        // From here on nobody waits for our output; a test runner or terminal
        // must not be held open by a background agent.
        RedirectToNull(STDIN_FILENO);
        RedirectToNull(STDOUT_FILENO);
        RedirectToNull(STDERR_FILENO);
        const char ready = 1;
        if (::write(readyFd, &ready, 1) != 1) {
            // the launcher is gone; serve anyway
        }
        ::close(readyFd);
    }
    const int code = server.Run(*opened.backend, trace.IsOpen() ? &trace : nullptr);
    trace.Flush();
    if (trace.Dropped() != 0) {
        std::fprintf(stderr,
                     "lptwdmio: %llu trace lines were dropped: %s did not take them at once "
                     "(each gap is marked in the trace by a line '<ns> dropped <count>')\n",
                     static_cast<unsigned long long>(trace.Dropped()), o.tracePath.c_str());
    }
    return code;
}

int Client(const agent::Options& o, const std::string& socketPath) {
    port::agent::AgentClient client;
    if (int e = client.Open(socketPath); e != 0) {
        std::fprintf(stderr, "lptwdmio: %s\n", agent::ConnectFailure(socketPath, e).c_str());
        return ExitNoBackend;
    }
    std::uint8_t pair[2] = {*agent::PortCodeFor(o.address), o.value};
    std::uint32_t code = port::agent::CodeRead;
    if (o.command == agent::Command::Write) {
        code = port::agent::CodeWrite;
    } else if (o.command == agent::Command::SetStatus) {
        code = port::agent::CodeSetStatus;
    }
    if (int e = client.Exchange(code, pair, 1); e != 0) {
        // An agent that can't take one more client says so in its reply.
        if (e == EUSERS || e == EMFILE || e == ENFILE) {
            std::fprintf(stderr, "lptwdmio: %s\n", agent::ConnectFailure(socketPath, e).c_str());
        } else {
            std::fprintf(stderr, "lptwdmio: request failed: %s (%d)\n", std::strerror(e), e);
        }
        return ExitNoBackend;
    }
    if (o.command == agent::Command::Read) {
        std::printf("0x%02X\n", pair[1]);
    }
    return ExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    InstallSignals();
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version") {
        std::printf("lptwdmio %s\n", TARVIK_VERSION);
        return ExitOk;
    }
    // The client verbs with options of their own; the rest share ParseOptions.
    const std::string word = agent::CommandWord(args);
    if (word == "record") {
        return agent::RunRecord(args);
    }
    if (word == "selftest") {
        return agent::RunSelftest(args);
    }
    if (word == "pulse") {
        return agent::RunPulse(args);
    }
    if (word == "pulses") {
        return agent::RunPulses(args);
    }
    std::string error;
    const auto options = agent::ParseOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "lptwdmio: %s\n\n%s", error.c_str(), agent::UsageText);
        return ExitUsage;
    }
    if (options->command == agent::Command::Help) {
        std::fputs(agent::UsageText, stdout);
        std::fputs("\nrecord:\n  ", stdout);
        std::fputs(agent::RecordUsageText, stdout);
        std::fputs("\nselftest:\n  ", stdout);
        std::fputs(agent::SelftestUsageText, stdout);
        std::fputs("\npulse:\n  ", stdout);
        std::fputs(agent::PulseUsageText, stdout);
        std::fputs("\npulses:\n  ", stdout);
        std::fputs(agent::PulsesUsageText, stdout);
        return ExitOk;
    }
    if (options->command == agent::Command::List) {
        const agent::PortListing listing = agent::ListPorts(agent::ListEnv{});
        std::fputs(options->json ? agent::ListingJson(listing).c_str() : listing.text.c_str(),
                   stdout);
        return listing.usable ? ExitOk : ExitNoBackend;
    }
    std::string socketPath = options->socketPath;
    if (socketPath.empty()) {
        const port::agent::SocketPlace place = port::agent::DefaultSocketPlace();
        if (place.path.empty()) {
            std::fprintf(stderr, "lptwdmio: no private folder for the agent's socket: %s\n",
                         place.notes.c_str());
            return ExitNoBackend;
        }
        if (!place.notes.empty() && options->command == agent::Command::Serve) {
            std::fprintf(stderr, "lptwdmio: %s; the socket goes to %s\n", place.notes.c_str(),
                         place.path.c_str());
        }
        socketPath = place.path;
    }
    if (options->command == agent::Command::Serve) {
        return Serve(*options, socketPath);
    }
    return Client(*options, socketPath);
}
