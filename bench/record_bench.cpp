// Recording through a sim agent (loopback plug) on a private socket: the
// achieved rate and the time between samples at 1 kHz and 10 kHz, with the
// agent's CPU share; then ReadRegister's round trip through the same agent with
// and without a 10 kHz `lptwdmio record` running beside it, in alternating blocks
// so both meet the same machine load.
//
//   record_bench [--tsv] [seconds per rate]
//
// --tsv prints tab-separated lines for scripts:
//   rate <asked Hz> <achieved Hz> <p50 us> <p99 us> <max us> <missed> <agent CPU %>
//   roundtrip <idle|recording> <calls> <median ns> <p99 ns> <max ns>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "agent/recording/RecordClient.h"
#include "bench/PrivateAgent.h"
#include "port/LPTIO.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Standard error goes to /dev/null: the recorder's report would fill the table.
pid_t Spawn(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        pid = 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void End(pid_t pid, int signal) {
    if (pid > 0) {
        ::kill(pid, signal);
        ::waitpid(pid, nullptr, 0);
    }
}

// Nanoseconds the process has run, from the scheduler.
long long CpuNs(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
    long long ns = 0;
    in >> ns;
    return ns;
}

double Percentile(std::vector<double>& v, double p) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(double(v.size()) * p))];
}

bool MeasureRate(const std::string& socket, pid_t agent, std::uint32_t rate, double seconds,
                 bool tsv) {
    agent::RecordClient client;
    if (int e = client.Start(socket, 0x378, rate); e != 0) {
        std::fprintf(stderr, "record_bench: cannot record: %s\n", std::strerror(e));
        return false;
    }
    std::vector<agent::Sample> samples{client.First()};
    const long long cpu0 = CpuNs(agent);
    const auto start = Clock::now();
    const auto until = start + std::chrono::duration<double>(seconds);
    while (Clock::now() < until) {
        if (client.Read(samples) != agent::RecordClient::State::Streaming) {
            std::fprintf(stderr, "record_bench: the recording ended early\n");
            return false;
        }
        ::usleep(5000);
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = double(CpuNs(agent) - cpu0) / 1e9 / wall * 100;
    client.RequestStop();
    std::vector<double> between;
    unsigned long long missed = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        between.push_back(double(samples[i].ns - samples[i - 1].ns) / 1e3);
        missed += samples[i].missed;
    }
    const double span = double(samples.back().ns - samples.front().ns) / 1e9;
    const double achieved = span > 0 ? double(samples.size() - 1) / span : 0;
    const double p50 = Percentile(between, 0.5), p99 = Percentile(between, 0.99);
    const double max = between.empty() ? 0 : between.back();
    if (tsv) {
        std::printf("rate\t%u\t%.1f\t%.1f\t%.1f\t%.1f\t%llu\t%.1f\n", rate, achieved, p50, p99, max,
                    missed, cpu);
    } else {
        std::printf(
            "record %6u Hz: achieved %9.1f Hz  between samples p50 %7.1f us  p99 %7.1f us  "
            "max %8.1f us  missed %llu  agent CPU %.1f %%\n",
            rate, achieved, p50, p99, max, missed, cpu);
    }
    return true;
}

void Report(const char* key, std::vector<long long>& ns, bool tsv) {
    std::sort(ns.begin(), ns.end());
    const long long median = ns[ns.size() / 2], p99 = ns[ns.size() * 99 / 100], max = ns.back();
    if (tsv) {
        std::printf("roundtrip\t%s\t%zu\t%lld\t%lld\t%lld\n", key, ns.size(), median, p99, max);
    } else {
        std::printf("ReadRegister, %-9s calls %6zu  median %7lld ns  p99 %8lld ns  max %9lld ns\n",
                    key, ns.size(), median, p99, max);
    }
}

void Block(TLptPortConnection& conn, int calls, std::vector<long long>& ns) {
    volatile std::uint8_t sink = 0;
    for (int i = 0; i < calls; ++i) {
        const auto t0 = Clock::now();
        sink = conn.ReadRegister(PortCode378, RegStatus);
        ns.push_back(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0).count());
    }
    (void)sink;
}

}  // namespace

int main(int argc, char** argv) {
    bool tsv = false;
    double seconds = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tsv") == 0) {
            tsv = true;
        } else if (std::atof(argv[i]) > 0) {
            seconds = std::atof(argv[i]);
        } else {
            std::fprintf(stderr, "usage: record_bench [--tsv] [seconds per rate]\n");
            return 1;
        }
    }
    PrivateAgent agent("record-bench");
    if (!agent.Start(AgentExecutable(LPTWDMIO_PATH), {"--loopback"})) {
        return 1;
    }
    const std::string& socket = agent.Socket();
    int result = 0;
    if (!MeasureRate(socket, agent.Pid(), 1000, seconds, tsv) ||
        !MeasureRate(socket, agent.Pid(), 10000, seconds, tsv)) {
        result = 1;
    }
    if (result == 0) {
        TLptPortConnection conn;
        std::vector<long long> idle, recording;
        const int blocks = 8, calls = 2500;
        for (int b = 0; b < blocks && conn.HasDevice(); ++b) {
            Block(conn, calls / 10, idle);  // warm-up, dropped below
            idle.resize(idle.size() - calls / 10);
            Block(conn, calls, idle);
            const pid_t recorder = Spawn({LPTWDMIO_PATH, "record", "--rate", "10000", "--out",
                                          "/dev/null", "--socket", socket});
            ::usleep(200000);  // running and streaming
            Block(conn, calls, recording);
            End(recorder, SIGINT);
        }
        if (idle.empty() || recording.empty()) {
            std::fprintf(stderr, "record_bench: the agent did not answer\n");
            result = 1;
        } else {
            Report("idle", idle, tsv);
            Report("recording", recording, tsv);
        }
    }
    return result;
}
