// Pulses through the whole program: its real windows on an X display with a window
// manager (scripts/bench starts a private Xvfb with openbox and trayer), a private
// simulated agent with a register trace, and pulses started by X clicks on the
// toggle buttons, as a user makes them. The widths come from the agent's trace;
// the points the program marks on each pulse's way to its end write say where the
// time went.
//
//   program_pulse_bench [--pulses N] [--case PINS:DELAY_MS]... [--run-delays] [--tsv]
//
// N pulses per case with one pin (default 100); the eight-pin cases make N/4
// rounds of eight. --case runs only the cases named (1 or 8 pins; 10, 100 or
// 1000 ms), so that a shared machine's quiet moments can be used case by case.
// --run-delays also reads, at some of the points, how long the delay thread and
// the main thread were runnable but had no core (a few microseconds a reading). --tsv prints one
// tab-separated line per case for scripts:
//   <pins> <delay ms> <pulses> <expected> <median> <p99> <max> <min> <machine busy %>
// (width error in ms); without it, a table and where the time went.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/PrivateAgent.h"
#include "bench/PulseProbeLog.h"
#include "bench/PulseTrace.h"
#include "framework/Application.h"
#include "mainwindow/Unit1.h"
#include "setup/Setup.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"

extern char** environ;

namespace {

struct Case {
    int pins;
    int delayMs;
};
constexpr Case Cases[] = {{1, 10}, {1, 100}, {1, 1000}, {8, 10}, {8, 100}, {8, 1000}};

struct Options {
    int pulses = 100;
    bool tsv = false;
    bool help = false;
    bool runDelays = false;
    std::vector<Case> cases;  // empty: all
};

void Sleep(double ms) {
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
}

double Ms(long long ns) {
    return double(ns) / 1e6;
}

std::string LoadAverage() {
    char text[128] = {};
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fgets(text, sizeof text, f) == nullptr) {
            text[0] = 0;
        }
        std::fclose(f);
    }
    std::string s(text);
    // The three averages only.
    for (int spaces = 0, i = 0; i < int(s.size()); ++i) {
        if (s[i] == ' ' && ++spaces == 3) {
            return s.substr(0, i);
        }
    }
    return s;
}

// Busy and total jiffies of all cores.
std::pair<long long, long long> CpuJiffies() {
    long long v[10] = {};
    if (std::FILE* f = std::fopen("/proc/stat", "r")) {
        if (std::fscanf(f, "cpu %lld %lld %lld %lld %lld %lld %lld %lld %lld %lld", &v[0], &v[1],
                        &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9]) < 4) {
            v[0] = 0;
        }
        std::fclose(f);
    }
    long long total = 0;
    for (long long x : v) {
        total += x;
    }
    return {total - v[3] - v[4], total};
}

// One stage of the way to the end write, over the pulses of a case.
struct Stage {
    const char* name = "";
    std::vector<double> ms;
};

class Driver {
public:
    Driver(TForm1& form, PrivateAgent& agent, PulseProbeLog& log, Options options)
        : form_(form),
          agent_(agent),
          log_(log),
          options_(options),
          trace_(agent.TracePath(), ::getpid(), 0x378) {}

    bool Run() {
        OnMain([this] {
            for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
                GlyphButton* b = form_.btnPoint[p];
                target_[p] = b->mapToGlobal(QPoint(b->width() / 2, b->height() / 2));
            }
        });
        if (!options_.tsv) {
            std::printf("load average before: %s\n", LoadAverage().c_str());
            std::printf(
                "width error = width on the port - delay asked, ms; busy = whole machine, %% of "
                "all cores; cpu = this program and the agent, s per s\n");
            std::printf("%4s %7s %6s %8s %8s %8s %8s %5s %6s %6s\n", "pins", "delay", "pulses",
                        "median", "p99", "max", "min", "busy", "cpu", "agent");
        }
        bool ok = true;
        for (const Case& c : Cases) {
            const bool chosen =
                options_.cases.empty() ||
                std::any_of(options_.cases.begin(), options_.cases.end(), [&](const Case& o) {
                    return o.pins == c.pins && o.delayMs == c.delayMs;
                });
            if (chosen) {
                ok = RunCase(c) && ok;
            }
        }
        if (!options_.tsv) {
            std::printf("load average after: %s\n", LoadAverage().c_str());
            std::printf("%s", stages_.c_str());
        }
        std::fflush(stdout);
        return ok;
    }

private:
    void OnMain(const std::function<void()>& fn) {
        QMetaObject::invokeMethod(&form_, fn, Qt::BlockingQueuedConnection);
    }

    // One xdotool for all the pins of a round: the clicks come as close together as
    // a quick user's, and no process starts between them.
    bool Click(int first, int last) {
        std::vector<std::string> args{"xdotool"};
        for (int p = first; p <= last; ++p) {
            for (const std::string& a :
                 {std::string("mousemove"), std::to_string(target_[p].x()),
                  std::to_string(target_[p].y()), std::string("click"), std::string("1")}) {
                args.push_back(a);
            }
        }
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (::posix_spawnp(&pid, "xdotool", nullptr, nullptr, argv.data(), environ) != 0) {
            std::fprintf(stderr, "program_pulse_bench: cannot start xdotool\n");
            return false;
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    // Follows the trace until `count` pulses have ended.
    bool WaitForEnds(std::size_t count, int delayMs, std::vector<TracedPulse>& out) {
        Sleep(std::max(delayMs - 2, 0));
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        std::size_t ended = 0;
        while (ended < count) {
            for (const TracedPulse& p : trace_.ReadNewEdges()) {
                out.push_back(p);
                ++ended;
            }
            if (ended >= count) {
                break;
            }
            if (std::chrono::steady_clock::now() > limit) {
                return false;
            }
            Sleep(2);
        }
        return true;
    }

    bool RunCase(const Case& c) {
        const int first = TForm1::FirstDataPin, last = first + c.pins - 1;
        const int rounds = c.pins == 1 ? options_.pulses : std::max(1, options_.pulses / 4);
        OnMain([&] {
            for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
                form_.spin[p]->SetText(form_.spin[p]->Format(p <= last ? c.delayMs / 1000.0 : 0));
            }
        });
        Sleep(300);
        trace_.ReadNewEdges();
        // A round not counted: the first pulse of a case meets a cold cache.
        std::vector<TracedPulse> pulses;
        if (!Click(first, last) || !WaitForEnds(std::size_t(c.pins), c.delayMs, pulses)) {
            std::fprintf(stderr, "program_pulse_bench: no pulse came from the clicks\n");
            return false;
        }
        Sleep(50);
        pulses.clear();
        log_.TakePulses();
        const long long begin = MonotonicNs();
        log_.ForgetActivitiesBefore(begin);
        const auto jiffies0 = CpuJiffies();
        const double ownCpu0 = OwnCpuSeconds(), agentCpu0 = agent_.CpuSeconds();
        bool ok = true;
        for (int r = 0; r < rounds && ok; ++r) {
            ok = Click(first, last) && WaitForEnds(std::size_t(c.pins), c.delayMs, pulses);
            // A random pause, so the pulses do not keep one phase against the timers.
            Sleep(std::uniform_int_distribution<int>(5, 45)(random_));
        }
        const double seconds = Ms(MonotonicNs() - begin) / 1000;
        const double ownCpu = (OwnCpuSeconds() - ownCpu0) / seconds;
        const double agentCpu = (agent_.CpuSeconds() - agentCpu0) / seconds;
        const auto jiffies1 = CpuJiffies();
        const double busy = jiffies1.second > jiffies0.second
                                ? 100.0 * double(jiffies1.first - jiffies0.first) /
                                      double(jiffies1.second - jiffies0.second)
                                : 0;
        Sleep(50);  // the last end write's reply, and its mark
        std::vector<double> errors;
        for (const TracedPulse& p : pulses) {
            errors.push_back(p.WidthMs() - c.delayMs);
        }
        const std::size_t expected = std::size_t(c.pins) * std::size_t(rounds);
        const Summary s = Summarise(errors);
        if (options_.tsv) {
            std::printf("%d\t%d\t%zu\t%zu\t%.3f\t%.3f\t%.3f\t%.3f\t%.0f\n", c.pins, c.delayMs,
                        s.count, expected, s.median, s.p99, s.max, s.min, busy);
        } else {
            std::printf("%4d %7d %6zu %8.3f %8.3f %8.3f %8.3f %4.0f%% %6.3f %6.3f%s\n", c.pins,
                        c.delayMs, s.count, s.median, s.p99, s.max, s.min, busy, ownCpu, agentCpu,
                        ok && s.count == expected ? "" : "  (pulses missing)");
            Explain(c, pulses, log_.TakePulses());
            DescribeMainThread(begin, MonotonicNs());
        }
        std::fflush(stdout);
        return ok && s.count == expected;
    }

    // Splits each width error into the stages between the start edge and the end
    // edge; they add up to the error. The hand-over is split further by what the
    // main thread did meanwhile.
    void Explain(const Case& c, const std::vector<TracedPulse>& traced,
                 const std::vector<ProbedPulse>& probed) {
        using P = TPulsePoint;
        Stage start{"start edge -> the delay starts to count", {}};
        Stage wake{"thread's wait: late by", {}};
        Stage wakeNoCore{"  the thread runnable, without a core", {}};
        Stage toMain{"handed over -> handler runs", {}};
        Stage mainNoCore{"  main thread runnable, without a core", {}};
        std::array<Stage, ActivityKinds> during;
        for (int k = 0; k < ActivityKinds; ++k) {
            during[k].name = ActivityName(Activity(k));
        }
        Stage toAgent{"handler runs -> end write at the agent", {}};
        std::string worst;
        int matched = 0;
        for (const TracedPulse& t : traced) {
            const auto it = std::find_if(probed.begin(), probed.end(), [&](const ProbedPulse& p) {
                return p.pin == t.bit + 2 && p.At(P::HandlerRuns) <= t.fallNs &&
                       t.fallNs <= p.At(P::EndWritten) && p.At(P::Started) != 0;
            });
            if (it == probed.end()) {
                continue;
            }
            ++matched;
            const ProbedPulse& p = *it;
            start.ms.push_back(Ms(p.At(P::Started) - t.riseNs));
            wake.ms.push_back(Ms(p.At(P::Woken) - p.At(P::Started)) - c.delayMs);
            toMain.ms.push_back(Ms(p.At(P::HandlerRuns) - p.At(P::HandedOver)));
            std::array<double, ActivityKinds> spent{};
            for (const ActivitySpan& a :
                 log_.ActivitiesBetween(p.At(P::HandedOver), p.At(P::HandlerRuns))) {
                spent[int(a.what)] += Ms(a.endNs - a.beginNs);
            }
            for (int k = 0; k < ActivityKinds; ++k) {
                during[k].ms.push_back(spent[k]);
            }
            toAgent.ms.push_back(Ms(t.fallNs - p.At(P::HandlerRuns)));
            const bool runDelays = p.delayThreadWoken != 0 && p.mainAtHandler != 0;
            if (runDelays) {
                wakeNoCore.ms.push_back(Ms(p.delayThreadWoken - p.delayThreadRunning));
                mainNoCore.ms.push_back(Ms(p.mainAtHandler - p.mainAtHandOver));
            }
            const double error = t.WidthMs() - c.delayMs;
            if (std::abs(error) > 1.0) {
                char line[256];
                std::snprintf(line, sizeof line,
                              "    pin %d error %.3f: start %.3f, wait late %.3f, to handler %.3f, "
                              "to agent %.3f\n",
                              p.pin, error, start.ms.back(), wake.ms.back(), toMain.ms.back(),
                              toAgent.ms.back());
                worst += line;
                worst += "      the main thread meanwhile:";
                for (int k = 0; k < ActivityKinds; ++k) {
                    if (spent[k] >= 0.001) {
                        std::snprintf(line, sizeof line, " %s %.3f", ActivityName(Activity(k)),
                                      spent[k]);
                        worst += line;
                    }
                }
                worst += "\n";
                if (runDelays) {
                    std::snprintf(line, sizeof line,
                                  "      without a core: delay thread %.3f, main thread %.3f\n",
                                  wakeNoCore.ms.back(), mainNoCore.ms.back());
                    worst += line;
                }
            }
        }
        char head[128];
        std::snprintf(head, sizeof head, "\n%d pin(s), %d ms: %d of %zu pulses traced to the end\n",
                      c.pins, c.delayMs, matched, traced.size());
        stages_ += head;
        std::vector<const Stage*> rows{&start, &wake, &wakeNoCore, &toMain, &mainNoCore};
        for (const Stage& d : during) {
            rows.push_back(&d);
        }
        rows.push_back(&toAgent);
        for (const Stage* s : rows) {
            if (s->ms.empty() && (s == &wakeNoCore || s == &mainNoCore)) {
                continue;
            }
            const bool part = s != &start && s != &wake && s != &toMain && s != &toAgent &&
                              s != &wakeNoCore && s != &mainNoCore;
            const Summary v = Summarise(s->ms);
            char line[192];
            std::snprintf(line, sizeof line,
                          "  %s%-*s n %4zu  min %7.3f  median %7.3f  p99 %7.3f  max %7.3f\n",
                          part ? "  main thread: " : "", part ? 32 : 46, s->name, v.count, v.min,
                          v.median, v.p99, v.max);
            stages_ += line;
        }
        if (!worst.empty()) {
            stages_ += "  pulses more than 1 ms off:\n" + worst;
        }
    }

    // How long the main thread's events took in the case, by kind.
    void DescribeMainThread(long long fromNs, long long toNs) {
        std::array<std::vector<double>, ActivityKinds> spans;
        for (const ActivitySpan& a : log_.ActivitiesBetween(fromNs, toNs)) {
            spans[int(a.what)].push_back(Ms(a.endNs - a.beginNs));
        }
        stages_ += "  the main thread's events, ms each:\n";
        for (int k = 0; k < ActivityKinds; ++k) {
            if (Activity(k) == Activity::Waiting || spans[k].empty()) {
                continue;
            }
            const Summary v = Summarise(spans[k]);
            char line[192];
            std::snprintf(line, sizeof line,
                          "    %-30s n %5zu  median %7.3f  p99 %7.3f  max %7.3f\n",
                          ActivityName(Activity(k)), v.count, v.median, v.p99, v.max);
            stages_ += line;
        }
    }

    TForm1& form_;
    PrivateAgent& agent_;
    PulseProbeLog& log_;
    Options options_;
    PulseTrace trace_;
    std::array<QPoint, 10> target_{};
    std::mt19937 random_{20261210};
    std::string stages_;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            o.help = true;
        } else if (std::strcmp(argv[i], "--run-delays") == 0) {
            o.runDelays = true;
        } else if (std::strcmp(argv[i], "--tsv") == 0) {
            o.tsv = true;
        } else if (std::strcmp(argv[i], "--case") == 0 && i + 1 < argc) {
            Case c{};
            if (std::sscanf(argv[++i], "%d:%d", &c.pins, &c.delayMs) != 2 ||
                std::none_of(std::begin(Cases), std::end(Cases), [&](const Case& k) {
                    return k.pins == c.pins && k.delayMs == c.delayMs;
                })) {
                return false;
            }
            o.cases.push_back(c);
        } else if (std::strcmp(argv[i], "--pulses") == 0 && i + 1 < argc) {
            o.pulses = std::atoi(argv[++i]);
            if (o.pulses < 4) {
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const bool parsed = ParseOptions(argc, argv, options);
    if (!parsed || options.help) {
        std::fprintf(parsed ? stdout : stderr,
                     "usage: program_pulse_bench [--pulses N] [--case PINS:DELAY_MS]... "
                     "[--run-delays] [--tsv]\n"
                     "  --pulses N  pulses per one-pin case (at least 4, default 100); the\n"
                     "              eight-pin cases make N/4 rounds of eight\n"
                     "  --case P:D  only this case (P 1 or 8, D 10, 100 or 1000); repeatable\n"
                     "  --run-delays  also read how long the delay thread and the main thread\n"
                     "              waited for a core (costs a few us per reading)\n"
                     "  --tsv       one tab-separated line per case, for scripts\n"
                     "Needs DISPLAY: an X server with a window manager, as scripts/bench\n"
                     "starts one. Exit code 0 when every pulse was seen, else 1.\n");
        return parsed ? 0 : 1;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "program_pulse_bench: DISPLAY is not set\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    PrivateAgent agent;  // points XDG_RUNTIME_DIR at its private folder
    if (!agent.Start(AgentExecutable(LPTWDMIO_PATH))) {
        return 1;
    }
    int argcQt = 1;
    TApplication app(argcQt, argv);
    app.SetTitle(QStringLiteral("Tarvik"));
    std::setlocale(LC_NUMERIC, "C");
    PulseProbeLog log;
    log.WatchEventLoop();
    if (options.runDelays) {
        log.ReadRunDelays();
    }
    // As the program starts, with its tray icon and instance guard; only the
    // settings file lies in the private folder.
    auto setup = std::make_unique<TFrmSetup>();
    TForm1Environment env;
    env.IniPath = QString::fromStdString(agent.Folder() + "/TARVIK.INI");
    env.HelpFolder = QString::fromStdString(agent.Folder());
    auto form = std::make_unique<TForm1>(env);
    if (Application->Terminated() || !form->isVisible()) {
        std::fprintf(stderr, "program_pulse_bench: the main window did not come up\n");
        return 1;
    }
    std::atomic<bool> ok{false};
    std::thread driver([&] {
        Sleep(500);  // the window manager places the window
        ok = Driver(*form, agent, log, options).Run();
        QMetaObject::invokeMethod(&app, [] { Application->Terminate(); });
    });
    app.Run();
    driver.join();
    form.reset();
    setup.reset();
    return ok ? 0 : 1;
}
