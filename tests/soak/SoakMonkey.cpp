// A monkey for the running program on a real X server: for a given time it
// clicks, types and drags at random over both windows and the tray icon, through
// the X server as a user would (xdotool). It watches every pulse the window
// starts and afterwards checks each against the agent's register trace, and it
// samples its own memory every 10 s. scripts/soak runs it under AddressSanitizer.
//   tarvik_soak --seconds N --trace FILE [--seed S] [--address 0x378]
#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "PulseCheck.h"
#include "framework/Application.h"
#include "mainwindow/Unit1.h"
#include "setup/Setup.h"
#include "support/X11Desktop.h"
#include "widgets/BitmapButton.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/NotifyIcon.h"
#include "widgets/TransparentRadioGroup.h"

namespace {

long long MonotonicNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

long ResidentKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Bytes the program holds on its heap right now, where the allocator can tell
// (AddressSanitizer's can); -1 elsewhere. Unlike the resident size it does not
// include freed memory the allocator keeps.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));
long HeapKb() {
    return __sanitizer_get_current_allocated_bytes != nullptr
               ? static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024)
               : -1;
}

QString Num(int v) {
    return QString::number(v);
}

void Xdo(const QStringList& args) {
    (void)x11::Tool(QStringLiteral("xdotool"), args);
}

// Every pulse the window runs, seen by polling its per-pin thread table each
// millisecond (the shortest pulse is 10 ms, so none slips through unseen).
class PulseWatch {
public:
    explicit PulseWatch(TForm1& form) : form_(form) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }

    void Poll() {
        const long long now = MonotonicNs();
        for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
            TPainterThread* thread = form_.PinThreads[p];
            Running& r = running_[p];
            if (r.thread != nullptr && r.thread != thread) {
                done_.push_back({p - 2, r.up, r.seenNs, now, r.idleNs});
                r.thread = nullptr;
            }
            if (thread != nullptr && r.thread == nullptr) {
                r = {thread, thread->Direction, now, lastPollNs_};
            }
        }
        lastPollNs_ = now;
    }
    bool AnyRunning() const {
        for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
            if (form_.PinThreads[p] != nullptr) {
                return true;
            }
        }
        return false;
    }
    void Stop() {
        Poll();
        timer_.stop();
    }
    const std::vector<soak::SeenPulse>& Done() const { return done_; }

private:
    struct Running {
        TPainterThread* thread = nullptr;
        bool up = false;
        long long seenNs = 0;
        long long idleNs = 0;
    };
    TForm1& form_;
    QTimer timer_;
    std::array<Running, 10> running_{};
    std::vector<soak::SeenPulse> done_;
    long long lastPollNs_ = 0;
};

// One random user action after another.
class Monkey {
public:
    Monkey(TForm1& form, TFrmSetup& setup, unsigned seed)
        : form_(form), setup_(setup), random_(seed) {}

    void Step() {
        if (!form_.isVisible()) {
            if (Chance(50)) {
                ClickTray(/*show=*/true);
            } else {
                Do("wait", [] { QTest::qWait(200); });
            }
            return;
        }
        const int roll = Pick(0, 99);
        if (roll < 28) {
            Do("toggle", [&] { ClickOn(form_.btnPoint[Pin()]); });
        } else if (roll < 34) {
            Do("direction", [&] { ClickOn(form_.btnDir[Pin()]); });
        } else if (roll < 38) {
            Do("tray pin", [&] { ClickOn(form_.btnTr[Pin()]); });
        } else if (roll < 50) {
            Do("type delay", [&] { TypeInto(form_.spin[Pin()], DelayText()); });
        } else if (roll < 55) {
            Do("step delay", [&] { StepKeys(form_.spin[Pin()]); });
        } else if (roll < 68) {
            Do("click main", [&] { ClickSomewhere(form_); });
        } else if (roll < 76) {
            Do("click setup", [&] { ClickSomewhere(setup_); });
        } else if (roll < 80) {
            Do("setup panel", [&] { ClickOn(setup_.btnSetup); });
        } else if (roll < 85) {
            Do("drag", [&] { DragBody(); });
        } else if (roll < 91) {
            ClickTray(Chance(50));
        } else if (roll < 93) {
            Do("hide", [&] { ClickOn(form_.btnHide); });
        } else {
            Do("keys", [&] { RandomKeys(); });
        }
    }

    const std::map<std::string, int>& Counts() const { return counts_; }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    bool Chance(int percent) { return Pick(0, 99) < percent; }
    int Pin() { return Pick(TForm1::FirstDataPin, TForm1::LastDataPin); }

    template <typename F>
    void Do(const char* what, F action) {
        ++counts_[what];
        action();
        QTest::qWait(Pick(10, 80));
    }

    // Mostly short delays, so that pulses start and end often; now and then one
    // too long to end by itself, or text the edit must cope with.
    QString DelayText() {
        static const char* const texts[] = {"0",    "0.01", "0.05",  "0.1",
                                            "0.25", "0,5",  "1",     "1.5",
                                            "2",    "0",    "0.02",  "30",
                                            "6000", "7000", "-1",    "abc",
                                            "",     "1e2",  "0.001", "99999999999999999999"};
        return QString::fromLatin1(texts[Pick(0, std::size(texts) - 1)]);
    }

    QPoint Inside(const QWidget* w) {
        const QRect r = w->rect();
        return w->mapToGlobal(
            QPoint(Pick(0, std::max(0, r.width() - 1)), Pick(0, std::max(0, r.height() - 1))));
    }

    void ClickAt(QPoint p, int button = 1) {
        Xdo({"mousemove", Num(p.x()), Num(p.y()), "click", Num(button)});
    }
    void ClickOn(const QWidget* w) {
        if (w != nullptr && w->isVisible()) {
            ClickAt(Inside(w));
        }
    }

    // Anywhere on the window except the help and close buttons (help would open a
    // viewer, close would end the run).
    void ClickSomewhere(const QWidget& window) {
        for (int tries = 0; tries < 10; ++tries) {
            const QPoint p = Inside(&window);
            const auto hits = [&](const QWidget* b) {
                return b->isVisible() && QRect(b->mapToGlobal(QPoint()), b->size()).contains(p);
            };
            if (!hits(form_.btnHelp) && !hits(form_.btnClose)) {
                ClickAt(p, Chance(85) ? 1 : 3);
                return;
            }
        }
    }

    void TypeInto(QWidget* edit, const QString& text) {
        ClickOn(edit);
        QStringList keys{"key", "--delay", "5", "End"};
        for (int i = 0; i < 12; ++i) {
            keys << "BackSpace";
        }
        Xdo(keys);
        if (!text.isEmpty()) {
            Xdo({"type", "--delay", "5", text});
        }
        if (Chance(50)) {
            Xdo({"key", "Return"});
        }
    }

    void StepKeys(QWidget* edit) {
        ClickOn(edit);
        static const char* const keys[] = {"Up", "Down", "Prior", "Next"};
        QStringList args{"key", "--delay", "5"};
        for (int i = Pick(1, 6); i > 0; --i) {
            args << keys[Pick(0, 3)];
        }
        Xdo(args);
        if (Chance(30)) {
            const QPoint p = Inside(edit);
            Xdo({"mousemove", Num(p.x()), Num(p.y()), "click", Chance(50) ? "4" : "5"});
        }
    }

    void RandomKeys() {
        static const char* const keys[] = {
            "Tab",       "space", "Return", "Up",     "Down",  "Left", "Right", "Escape",
            "BackSpace", "5",     "comma",  "period", "minus", "a",    "Home",  "Delete"};
        QStringList args{"key", "--delay", "5"};
        for (int i = Pick(1, 8); i > 0; --i) {
            args << keys[Pick(0, std::size(keys) - 1)];
        }
        Xdo(args);
    }

    // Press on a bare part of the body and move the window somewhere else.
    void DragBody() {
        QPoint from;
        for (int tries = 0;; ++tries) {
            if (tries == 20) {
                return;
            }
            const QPoint local(Pick(0, form_.width() - 1), Pick(0, 95));
            if (form_.childAt(local) == nullptr) {
                from = form_.mapToGlobal(local);
                break;
            }
        }
        const QPoint to(Pick(50, 700), Pick(150, 700));
        Xdo({"mousemove", Num(from.x()), Num(from.y()), "mousedown", "1"});
        for (int i = 1; i <= 6; ++i) {
            const QPoint at = from + (to - from) * i / 6;
            Xdo({"mousemove", Num(at.x()), Num(at.y())});
            QTest::qWait(15);
        }
        Xdo({"mouseup", "1"});
    }

    // show: the button that shows or hides the window; otherwise the one that
    // switches the tray pin. The setup option says which is which.
    void ClickTray(bool show) {
        if (form_.TrayIcon == nullptr) {
            return;
        }
        const QRect icon = form_.TrayIcon->TrayIcon().geometry();
        if (!icon.isValid()) {
            return;
        }
        const bool leftShows = setup_.rgrpMouseButton->ItemIndex() == 1;
        Do(show ? "tray show/hide" : "tray switch",
           [&] { ClickAt(icon.center(), show == leftShows ? 1 : 3); });
    }

    TForm1& form_;
    TFrmSetup& setup_;
    std::mt19937 random_;
    std::map<std::string, int> counts_;
};

// Least-squares slope of the samples, in KB per minute.
double SlopeKbPerMinute(const std::vector<std::pair<double, long>>& samples) {
    if (samples.size() < 2) {
        return 0;
    }
    double st = 0, sm = 0, stt = 0, stm = 0;
    for (const auto& [t, kb] : samples) {
        st += t;
        sm += double(kb);
        stt += t * t;
        stm += t * double(kb);
    }
    const double n = double(samples.size());
    const double d = n * stt - st * st;
    return d == 0 ? 0 : (n * stm - st * sm) / d * 60.0;
}

struct Options {
    int seconds = 600;
    std::string trace;
    unsigned seed = 1;
    std::uint16_t address = 0x378;
};

bool Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--seconds") {
            o.seconds = std::stoi(value);
        } else if (key == "--trace") {
            o.trace = value;
        } else if (key == "--seed") {
            o.seed = static_cast<unsigned>(std::stoul(value));
        } else if (key == "--address") {
            o.address = static_cast<std::uint16_t>(std::stoul(value, nullptr, 16));
        } else {
            return false;
        }
    }
    return !o.trace.empty() && o.seconds > 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The leak check ends the process without flushing: the report must be out by then.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Options o;
    if (!Parse(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: tarvik_soak --seconds N --trace FILE [--seed S] [--address 378]\n");
        return 2;
    }
    TApplication app(argc, argv);
    app.SetTitle(QStringLiteral("Tarvik"));
    int boxes = 0;
    std::map<QString, int> boxTexts;
    Application->SetBoxReporter([&](auto, auto, const QString& text) {
        ++boxes;
        ++boxTexts[text];
    });

    QTemporaryDir folder;
    auto setup = std::make_unique<TFrmSetup>();
    TForm1Environment env;
    env.IniPath = folder.filePath(QStringLiteral("TARVIK.INI"));
    env.HelpFolder = folder.path();
    auto form = std::make_unique<TForm1>(env);
    if (!form->LptPort->IsReady() || form->ComboBox1->count() == 0) {
        std::fprintf(stderr, "soak: no agent with a port at 0x%X\n", o.address);
        return 1;
    }

    PulseWatch watch(*form);
    Monkey monkey(*form, *setup, o.seed);
    std::vector<std::pair<double, long>> rss, heap;
    const long long begin = MonotonicNs();
    const long long end = begin + o.seconds * 1000000000LL;
    long long nextSample = begin;
    while (MonotonicNs() < end) {
        if (MonotonicNs() >= nextSample) {
            rss.emplace_back(double(MonotonicNs() - begin) / 1e9, ResidentKb());
            heap.emplace_back(rss.back().first, HeapKb());
            nextSample += 10000000000LL;
        }
        monkey.Step();
    }
    rss.emplace_back(double(MonotonicNs() - begin) / 1e9, ResidentKb());
    heap.emplace_back(rss.back().first, HeapKb());

    // Let short pulses end by themselves, then cut the long ones with a click.
    (void)QTest::qWaitFor([&] { return !watch.AnyRunning(); }, 3000);
    int cut = 0;
    for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
        if (form->PinThreads[p] != nullptr) {
            // With the delay turned to 0 during the pulse a click only flips the
            // pin; any other delay makes the click end the pulse.
            if (form->spin[p]->Value() == 0) {
                form->spin[p]->SetText(QStringLiteral("1.00"));
            }
            form->btnPoint2Click(form->btnPoint[p]);
            ++cut;
        }
    }
    const bool allEnded = QTest::qWaitFor([&] { return !watch.AnyRunning(); }, 5000);
    QTest::qWait(50);
    watch.Stop();

    const auto writes = soak::ReadDataWrites(o.trace, o.address);
    int complete = 0, noStart = 0, noEnd = 0;
    for (const auto& pulse : watch.Done()) {
        // The start edge lies between the poll that did not see the pulse yet and the
        // one that did, however late either came.
        switch (soak::CheckPulse(writes, pulse, pulse.startNs - pulse.idleNs)) {
            case soak::PulseVerdict::Complete:
                ++complete;
                break;
            case soak::PulseVerdict::NoStartEdge:
                ++noStart;
                std::printf("pulse without start edge: bit %d at %lld ns\n", pulse.bit,
                            pulse.startNs);
                break;
            case soak::PulseVerdict::NoEndEdge:
                ++noEnd;
                std::printf("pulse without end edge: bit %d at %lld ns\n", pulse.bit,
                            pulse.startNs);
                break;
        }
    }

    std::printf("== soak: %d s, seed %u\n", o.seconds, o.seed);
    int actions = 0;
    for (const auto& [what, n] : monkey.Counts()) {
        std::printf("  %-16s %6d\n", what.c_str(), n);
        actions += n;
    }
    std::printf("  actions %d, error boxes %d, data writes in trace %zu\n", actions, boxes,
                writes.size());
    for (const auto& [text, n] : boxTexts) {
        std::printf("  box %6d  %s\n", n, text.toUtf8().constData());
    }
    std::printf(
        "  pulses %zu: complete %d, no start edge %d, no end edge %d (cut at the end %d%s)\n",
        watch.Done().size(), complete, noStart, noEnd, cut, allEnded ? "" : ", some never ended");
    // Memory is judged after the first minute (half the run, if shorter), when
    // caches and pools have filled.
    const double warmFrom = std::min(60.0, o.seconds / 2.0);
    const auto report = [warmFrom](const char* what,
                                   const std::vector<std::pair<double, long>>& samples) {
        std::printf("  %s KB every 10 s:", what);
        std::vector<std::pair<double, long>> warm;
        for (const auto& [t, kb] : samples) {
            std::printf(" %ld", kb);
            if (t >= warmFrom) {
                warm.emplace_back(t, kb);
            }
        }
        const double slope = SlopeKbPerMinute(warm);
        std::printf("\n  %s slope after warm-up: %.1f KB/min\n", what, slope);
        return slope;
    };
    const double rssSlope = report("RSS", rss);
    const bool heapKnown = HeapKb() >= 0;
    const double heapSlope = heapKnown ? report("heap in use", heap) : 0;

    form.reset();
    setup.reset();
    // Memory held that grows by more than 256 KB a minute after warm-up is a leak,
    // even if everything is freed at exit. Under the sanitizer the resident size
    // also holds its allocator's pools and shadow, so only the heap count tells;
    // elsewhere the resident size is all there is.
    // A window of a few minutes can't tell a cache that fills once from a leak.
    const bool judgeMemory = o.seconds >= 300;
    const bool memoryFlat = !judgeMemory || (heapKnown ? heapSlope < 256 : rssSlope < 1024);
    if (!judgeMemory) {
        std::printf("  memory not judged: a run under 5 minutes is too short\n");
    }
    const bool ok = allEnded && noStart == 0 && noEnd == 0 && !watch.Done().empty() && memoryFlat;
    std::printf("== soak %s\n", ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}
