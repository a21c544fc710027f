// Pulses through the main window's own logic on a private simulated agent: the
// width each pulse really had on the port (from the agent's trace) against the
// delay asked, for both ways the delay thread can wait; and the start-up time.
//
//   pulse_bench                     both wait styles, then the start-up time
//   pulse_bench pulses [spin|blocking]
//   pulse_bench startup
//   pulse_bench table               the program's own (blocking) wait only, one
//                                   tab-separated line per case for scripts:
//       <pins> <delay ms> <pulses> <expected> <median> <p99> <max>   (error, ms)
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/PrivateAgent.h"
#include "bench/PulseTrace.h"
#include "bench/StartupTime.h"
#include "framework/Application.h"
#include "mainwindow/Unit1.h"
#include "setup/Setup.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"

namespace {

using Clock = std::chrono::steady_clock;
using Style = TPainterThread::WaitStyle;

struct Case {
    int pins;
    int delayMs;
    int repetitions;
};

constexpr int RoundTrips = 2000;
// Enough repetitions for a p99 on the short delays; the 1 s ones dominate the run time.
constexpr Case Cases[] = {
    {1, 10, 200}, {1, 100, 60}, {1, 1000, 15}, {8, 10, 100}, {8, 100, 25}, {8, 1000, 8},
};

// The figures mean little on a busy machine; the load says how busy it was.
void PrintLoad(const char* when) {
    char text[128] = {};
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fgets(text, sizeof text, f) == nullptr) {
            text[0] = 0;
        }
        std::fclose(f);
    }
    std::printf("load average %s: %s", when, text[0] ? text : "unknown\n");
}

const char* StyleName(Style style) {
    return style == Style::Spin ? "spin" : "blocking";
}

double SecondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Turns the event loop, as the program's own loop would, until done() holds.
bool PumpUntil(const std::function<bool()>& done, int limitMs) {
    QDeadlineTimer deadline(limitMs, Qt::PreciseTimer);
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    wake.setSingleShot(true);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        wake.start(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

class PulseBench {
public:
    PulseBench(TForm1& form, PrivateAgent& agent, bool tsv)
        : form_(form), agent_(agent), trace_(agent.TracePath(), ::getpid(), 0x378), tsv_(tsv) {}

    // The styles take turns case by case, so that both meet the same load.
    bool Run(const std::vector<Style>& styles) {
        bool ok = true;
        for (const Case& c : Cases) {
            for (Style style : styles) {
                TPainterThread::DefaultWait = style;
                ok = RunCase(style, c) && ok;
            }
        }
        return ok;
    }

    // Every register access of the window is one round trip to the agent; the two
    // timers make eighteen of them per tick, during which no end write can happen.
    void PrintRoundTrip() {
        std::vector<double> us;
        for (int i = 0; i < RoundTrips; ++i) {
            const auto t0 = Clock::now();
            form_.LptPort->ReadRegister(form_.SelectedPortCode(), RegStatus);
            us.push_back(SecondsSince(t0) * 1e6);
        }
        const Summary s = Summarise(us);
        std::printf("register read round trip, %d reads: median %.0f us, p99 %.0f us\n", RoundTrips,
                    s.median, s.p99);
    }

    // The worst p99 of each wait style against the targets: 1.5 ms for one pulse,
    // 3 ms for eight at once.
    void PrintVerdict(const std::vector<Style>& styles) const {
        for (Style style : styles) {
            const double one = worstP99_[int(style)][0], eight = worstP99_[int(style)][1];
            std::printf("%-8s worst p99: 1 pin %.3f ms (%s 1.5), 8 pins %.3f ms (%s 3)\n",
                        StyleName(style), one, one <= 1.5 ? "<=" : ">", eight,
                        eight <= 3 ? "<=" : ">");
        }
    }

private:
    bool RunCase(Style style, const Case& c) {
        const int first = TForm1::FirstDataPin, last = first + c.pins - 1;
        for (int p = first; p <= last; ++p) {
            form_.spin[p]->SetText(form_.spin[p]->Format(c.delayMs / 1000.0));
        }
        PumpFor(20);
        trace_.ReadNewPulses();
        const double ownCpu0 = OwnCpuSeconds(), agentCpu0 = agent_.CpuSeconds();
        double pulsing = 0;
        bool ok = true;
        for (int r = 0; r < c.repetitions && ok; ++r) {
            const auto start = Clock::now();
            for (int p = first; p <= last; ++p) {
                form_.btnPoint[p]->Click();
            }
            ok = PumpUntil(
                [&] {
                    for (int p = first; p <= last; ++p) {
                        if (form_.PinThreads[p] != nullptr) {
                            return false;
                        }
                    }
                    return true;
                },
                c.delayMs + 5000);
            pulsing += SecondsSince(start);
            // A random pause, so the pulses do not keep one phase against the timers.
            PumpFor(std::uniform_int_distribution<int>(5, 25)(random_));
        }
        const double ownCpu = OwnCpuSeconds() - ownCpu0, agentCpu = agent_.CpuSeconds() - agentCpu0;
        PumpFor(50);  // the agent writes its trace after each request
        const auto widths = trace_.ReadNewPulses();
        std::vector<double> errors;
        for (int p = first; p <= last; ++p) {
            for (double w : widths[p - 2]) {
                errors.push_back(w - c.delayMs);
            }
        }
        const std::size_t expected = std::size_t(c.pins) * std::size_t(c.repetitions);
        const Summary s = Summarise(errors);
        if (tsv_) {
            std::printf("%d\t%d\t%zu\t%zu\t%.3f\t%.3f\t%.3f\n", c.pins, c.delayMs, s.count,
                        expected, s.median, s.p99, s.max);
        } else {
            std::printf("%-8s %4d %7d %6zu %9.3f %9.3f %9.3f %9.3f %8.3f %8.3f%s\n",
                        StyleName(style), c.pins, c.delayMs, s.count, s.median, s.p99, s.max, s.min,
                        ownCpu / pulsing, agentCpu / pulsing,
                        ok && s.count == expected ? "" : "  (pulses missing)");
        }
        std::fflush(stdout);
        double& worst = c.pins == 1 ? worstP99_[int(style)][0] : worstP99_[int(style)][1];
        worst = std::max(worst, s.p99);
        return ok && s.count == expected;
    }

    TForm1& form_;
    PrivateAgent& agent_;
    PulseTrace trace_;
    bool tsv_;
    std::mt19937 random_{20261209};
    double worstP99_[2][2] = {};  // [style][1 pin, 8 pins]
};

int Pulses(int argc, char** argv, const std::vector<Style>& styles, bool tsv) {
    PrivateAgent agent;
    if (!agent.Start(AgentExecutable(LPTWDMIO_PATH))) {
        return 1;
    }
    TApplication app(argc, argv);
    app.SetTitle(QStringLiteral("Tarvik"));
    std::setlocale(LC_NUMERIC, "C");
    auto setup = std::make_unique<TFrmSetup>();
    TForm1Environment env;  // the platform's own port layer, talking to our agent
    env.IniPath = QString::fromStdString(agent.Folder() + "/TARVIK.INI");
    env.HelpFolder = QString::fromStdString(agent.Folder());
    env.UseInstanceGuard = false;
    env.UseTrayIcon = false;
    auto form = std::make_unique<TForm1>(env);
    if (Application->Terminated() || form->ComboBox1 == nullptr) {
        std::fprintf(stderr, "pulse_bench: the main window did not come up on the agent\n");
        return 1;
    }
    PulseBench bench(*form, agent, tsv);
    if (!tsv) {
        PrintLoad("before");
        bench.PrintRoundTrip();
        std::printf(
            "pulse width error = width on the port - delay asked, in ms; cpu in s per s "
            "of pulsing\n");
        std::printf("%-8s %4s %7s %6s %9s %9s %9s %9s %8s %8s\n", "wait", "pins", "delay", "pulses",
                    "median", "p99", "max", "min", "cpu", "agent");
    }
    const bool ok = bench.Run(styles);
    if (!tsv) {
        bench.PrintVerdict(styles);
        PrintLoad("after");
    }
    std::fflush(stdout);
    form.reset();
    setup.reset();
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const auto started = StartupClockNs();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == StartupChildMode) {
        return StartupChild(argc, argv, started);
    }
    if (mode == "startup") {
        return StartupBench(AgentExecutable(LPTWDMIO_PATH));
    }
    const char* usage = "usage: pulse_bench [pulses [spin|blocking] | startup | table]\n";
    int argcQt = 1;
    if (mode == "table") {
        return Pulses(argcQt, argv, {Style::Blocking}, true);
    }
    std::vector<Style> styles{Style::Spin, Style::Blocking};
    if (mode == "pulses" && argc > 2) {
        if (std::strcmp(argv[2], "spin") == 0) {
            styles = {Style::Spin};
        } else if (std::strcmp(argv[2], "blocking") == 0) {
            styles = {Style::Blocking};
        } else {
            std::fprintf(stderr, "%s", usage);
            return 1;
        }
    } else if (!mode.empty() && mode != "pulses") {
        std::fprintf(stderr, "%s", usage);
        return 1;
    }
    const int code = Pulses(argcQt, argv, styles, false);
    if (code != 0 || !mode.empty()) {
        return code;
    }
    std::printf("\n");
    return StartupBench(AgentExecutable(LPTWDMIO_PATH));
}
