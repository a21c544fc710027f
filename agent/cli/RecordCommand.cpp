#include "agent/cli/RecordCommand.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "agent/cli/Options.h"
#include "agent/cli/VerbArgs.h"
#include "agent/recording/RecordClient.h"
#include "agent/recording/VcdWriter.h"
#include "agent/serving/OutputFile.h"
#include "port/AgentClient.h"
#include "port/AgentProtocol.h"

namespace agent {

const char* const RecordUsageText =
    "lptwdmio record [--port 378] [--rate HZ] [--seconds S] --out FILE.vcd|- [--socket PATH]\n"
    "\n"
    "Samples the data, status and control registers of one port inside the running\n"
    "agent and writes a Value Change Dump (PulseView, GTKWave, sigrok-cli -I vcd):\n"
    "one wire per connector pin (pin02_D0 ... pin17_SELECTIN) at the level the\n"
    "window's lamp shows, and sampling_gap, 1 where the agent missed sampling times.\n"
    "\n"
    "  --port 378|278|3BC   the port's base address, hex (default 378)\n"
    "  --rate HZ            samples a second, 1 to 100000 (default 1000)\n"
    "  --seconds S          stop after S seconds, 0.000001 to 10000000 (default: at Ctrl+C)\n"
    "  --out FILE.vcd|-     the file to write, or - for standard output\n"
    "  --socket PATH        the agent's socket\n"
    "\n"
    "At the end it reports the achieved rate and the longest time between samples.\n"
    "Exit codes: 0 recorded (also after Ctrl+C), 1 usage (also a port the agent does\n"
    "not serve, or a file that cannot be written), 2 no agent, the agent refused, or\n"
    "the recording broke off (agent gone, disk full): the file then ends cleanly with\n"
    "what was recorded.\n";

namespace {

constexpr int ExitOk = 0;
constexpr int ExitUsage = 1;
constexpr int ExitBroken = 2;
// A stream that brings nothing for this long has an agent that hangs.
constexpr long long SilenceLimitMs = 5000;
// How long the agent may take to confirm the end of a recording.
constexpr long long EndLimitMs = 2000;

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = interrupted + 1;
}

long long NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

// The file's time step is 1 µs: a shorter duration would round to none, which
// means "until interrupted".
constexpr double MinSeconds = 1e-6;
constexpr double MaxSeconds = 1e7;

std::optional<double> ParseSeconds(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0' || errno != 0 || !(v >= MinSeconds) ||
        v > MaxSeconds) {
        return std::nullopt;
    }
    return v;
}

std::optional<std::uint32_t> ParseRate(const std::string& text) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const unsigned long v = std::stoul(text);
    if (v == 0 || v > port::agent::MaxRecordRate) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(v);
}

// The output: a file of our own, or standard output. Text goes out in blocks of
// whole lines; a block that fails is cut off again, so the file always ends on
// a complete line.
class VcdOutput {
public:
    ~VcdOutput() {
        if (own_ && fd_ >= 0) {
            ::close(fd_);
        }
    }

    bool Open(const std::string& path, std::string& error) {
        path_ = path;
        if (path == "-") {
            fd_ = STDOUT_FILENO;
            return true;
        }
        own_ = true;
        // An existing file is emptied only once the agent answers.
        OutputFile file = OpenOutputFile(path, /*append=*/false, /*nonBlocking=*/false, 0666);
        fd_ = file.fd;
        created_ = file.created;
        struct stat st {};
        if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
            error = fd_ < 0 ? file.error : "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
        regular_ = S_ISREG(st.st_mode);
        return true;
    }

    // Nothing was recorded: a file we made is taken away again.
    void Abandon() {
        if (created_) {
            ::unlink(path_.c_str());
        }
    }

    bool Begin() {
        if (regular_ && ::ftruncate(fd_, 0) != 0) {
            error_ = errno;
            return false;
        }
        return true;
    }

    bool Write(const std::string& text) {
        if (error_ != 0) {
            return false;
        }
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            error_ = n < 0 ? errno : EIO;
            if (regular_ && ::ftruncate(fd_, static_cast<off_t>(size_)) != 0) {
                // the partial block stays; nothing more can be done about it
            }
            return false;
        }
        size_ += text.size();
        return true;
    }

    // Writes over text already in the file (the figures' line of the header).
    void Patch(std::size_t offset, const std::string& text) {
        if (regular_ && offset + text.size() <= size_ &&
            ::pwrite(fd_, text.data(), text.size(), static_cast<off_t>(offset)) !=
                static_cast<ssize_t>(text.size())) {
            // the placeholder stays and says the figures are missing
        }
    }

    int Error() const { return error_; }
    std::string Name() const { return own_ ? path_ : "standard output"; }
    bool IsStdout() const { return !own_; }

private:
    std::string path_;
    int fd_ = -1;
    bool own_ = false, created_ = false, regular_ = false;
    std::size_t size_ = 0;
    int error_ = 0;
};

std::string LocalDate() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &tm);
    return text;
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

void Report(const RecordOptions& o, const VcdWriter& writer, const VcdOutput& output) {
    const RecordStats& s = writer.Stats();
    std::fprintf(stderr,
                 "lptwdmio: recorded port 0x%X for %.3f s into %s: %llu samples, %.1f Hz "
                 "achieved (asked %u Hz), longest time between samples %.3f ms\n",
                 o.base, s.Seconds(), output.Name().c_str(),
                 static_cast<unsigned long long>(s.samples), s.AchievedHz(), o.rate,
                 double(s.longestIntervalNs) / 1e6);
    if (!writer.RateHeld()) {
        std::fprintf(stderr,
                     "lptwdmio: the asked rate was not held: %llu sample%s missed in %llu gap%s "
                     "(marked by sampling_gap); the longest time between samples was %.3f ms, "
                     "at %.6f s\n",
                     static_cast<unsigned long long>(s.missed), s.missed == 1 ? "" : "s",
                     static_cast<unsigned long long>(s.gaps), s.gaps == 1 ? "" : "s",
                     double(s.longestIntervalNs) / 1e6, double(s.longestIntervalAtNs) / 1e9);
    }
}

// A port the agent doesn't serve is the user's mistake; anything else is the agent's.
int StartFailure(const RecordOptions& o, int e, const std::string& socketPath) {
    if (e == ENXIO) {
        std::fprintf(stderr, "lptwdmio: the agent serves no port at 0x%X\n", o.base);
        return ExitUsage;
    }
    if (e == EINVAL) {
        // The request itself was checked here, so the agent does not know it.
        std::fprintf(stderr,
                     "lptwdmio: the agent on %s refused to record (%s): an lptwdmio older "
                     "than this one? Restart it.\n",
                     socketPath.c_str(), std::strerror(e));
        return ExitBroken;
    }
    std::fprintf(stderr, "lptwdmio: cannot record: %s\n", ConnectFailure(socketPath, e).c_str());
    return ExitBroken;
}

}  // namespace

std::optional<RecordOptions> ParseRecordOptions(const std::vector<std::string>& args,
                                                std::string& error) {
    const auto read = ReadVerbArgs(
        args, {"record", {"--socket", "--port", "--rate", "--seconds", "--out"}}, error);
    if (!read) {
        return std::nullopt;
    }
    RecordOptions o;
    if (read->help) {
        o.help = true;
        return o;
    }
    if (const std::string* v = read->Value("--socket")) {
        o.socketPath = *v;
    }
    if (const std::string* v = read->Value("--out")) {
        o.out = *v;
    }
    if (const std::string* v = read->Value("--port")) {
        const auto base = ParsePortBase(*v, error);
        if (!base) {
            return std::nullopt;
        }
        o.base = *base;
    }
    if (const std::string* v = read->Value("--rate")) {
        const auto rate = ParseRate(*v);
        if (!rate) {
            error = "the rate must be a whole number of Hz from 1 to " +
                    std::to_string(port::agent::MaxRecordRate) + ": " + *v;
            return std::nullopt;
        }
        o.rate = *rate;
    }
    if (const std::string* v = read->Value("--seconds")) {
        const auto seconds = ParseSeconds(*v);
        if (!seconds) {
            error = "--seconds takes 0.000001 (1 µs, the file's time step) to 10000000: " + *v;
            return std::nullopt;
        }
        o.seconds = *seconds;
    }
    if (o.out.empty()) {
        error = "record needs --out FILE.vcd (or --out - for standard output)";
        return std::nullopt;
    }
    return o;
}

int RunRecord(const std::vector<std::string>& args) {
    std::string error;
    const auto parsed = ParseRecordOptions(args, error);
    if (!parsed) {
        std::fprintf(stderr, "lptwdmio: %s\n\nUsage:\n  %s", error.c_str(), RecordUsageText);
        return ExitUsage;
    }
    const RecordOptions& o = *parsed;
    if (o.help) {
        std::fputs(RecordUsageText, stdout);
        return ExitOk;
    }
    VcdOutput output;
    if (!output.Open(o.out, error)) {
        std::fprintf(stderr, "lptwdmio: %s\n", error.c_str());
        return ExitUsage;
    }
    InstallInterrupt();
    const std::string socketPath = ClientSocketPath(o.socketPath, error);
    if (socketPath.empty()) {
        output.Abandon();
        std::fprintf(stderr, "lptwdmio: %s\n", error.c_str());
        return ExitBroken;
    }
    RecordClient client;
    if (int e = client.Start(socketPath, o.base, o.rate); e != 0) {
        output.Abandon();
        return StartFailure(o, e, socketPath);
    }

    VcdWriter writer(o.base, o.rate, client.BackendName(), LocalDate());
    std::string text;
    writer.Begin(client.First(), text);
    const std::uint64_t limitNs = o.seconds > 0 ? std::uint64_t(std::llround(o.seconds * 1e9)) : 0;
    std::string broken;
    if (!output.Begin() || !output.Write(text)) {
        broken =
            std::string("cannot write ") + output.Name() + ": " + std::strerror(output.Error());
    }
    text.clear();
    bool stopping = false, stopWaited = false;
    long long stopDeadline = 0, lastSampleMs = NowMs();
    std::vector<Sample> samples;
    RecordClient::State state = RecordClient::State::Streaming;
    while (broken.empty()) {
        pollfd p{client.Fd(), POLLIN, 0};
        ::poll(&p, 1, 100);
        samples.clear();
        state = client.Read(samples);
        if (!samples.empty()) {
            lastSampleMs = NowMs();
        }
        for (const Sample& s : samples) {
            if (stopping) {
                break;  // beyond the asked time
            }
            if (limitNs != 0 && s.ns - client.First().ns > limitNs) {
                stopping = true;
                break;
            }
            writer.Add(s, text);
        }
        if (!text.empty() && !output.Write(text)) {
            broken = "cannot write " + output.Name() + ": " + std::strerror(output.Error());
        }
        text.clear();
        if (state != RecordClient::State::Streaming) {
            break;
        }
        if ((interrupted != 0 || stopping) && stopDeadline == 0) {
            stopping = true;
            client.RequestStop();
            stopDeadline = NowMs() + EndLimitMs;
        }
        if (stopDeadline != 0 && (NowMs() > stopDeadline || interrupted > 1)) {
            stopWaited = true;
            break;
        }
        if (!stopping && NowMs() - lastSampleMs > SilenceLimitMs) {
            broken = "the agent sent no samples for 5 s";
        }
    }
    if (broken.empty() && state == RecordClient::State::Broken) {
        broken = std::string("the agent went away (") + std::strerror(client.BrokenError()) + ")";
    } else if (broken.empty() && state == RecordClient::State::Ended && client.EndError() != 0) {
        broken = std::string("the agent could not read the port: ") +
                 std::strerror(static_cast<int>(client.EndError()));
    } else if (broken.empty() && stopWaited && interrupted <= 1) {
        broken = "the agent did not confirm the end of the recording";
    }
    writer.Finish(text);
    output.Write(text);
    output.Patch(writer.SummaryOffset(), writer.SummaryLine());
    Report(o, writer, output);
    if (!broken.empty()) {
        std::fprintf(stderr, "lptwdmio: the recording broke off: %s; %s holds the %.3f s before\n",
                     broken.c_str(), output.Name().c_str(), writer.Stats().Seconds());
        return ExitBroken;
    }
    return ExitOk;
}

}  // namespace agent
