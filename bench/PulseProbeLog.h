// What the program does on a pulse's way to its end write: the points the delay
// thread and the finish handler mark (pins/thread.h), and when the main thread's
// event loop went to sleep and woke up, all on the monotonic clock of the agent's
// trace.
#pragma once

#include <array>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pins/thread.h"

struct ProbedPulse {
    int pin = 0;
    std::array<long long, 5> ns{};  // by TPulsePoint; 0 = not seen
    long long At(TPulsePoint p) const { return ns[std::size_t(p)]; }
};

// The main thread's event loop around a moment.
struct LoopState {
    bool asleep = false;    // it waited for events
    long long sinceNs = 0;  // since when it slept, or had been awake
    long long wokeNs = 0;   // when it woke next, if it slept; 0 = not seen
};

class PulseProbeLog {
public:
    // Hooks itself in as the program's pulse probe; one log at a time.
    PulseProbeLog();
    ~PulseProbeLog();
    PulseProbeLog(const PulseProbeLog&) = delete;
    PulseProbeLog& operator=(const PulseProbeLog&) = delete;

    // On the main thread, once its event dispatcher exists.
    void WatchEventLoop();

    // The pulses whose end write has come back since the last call.
    std::vector<ProbedPulse> TakePulses();
    LoopState LoopAt(long long ns) const;
    // Drops what the loop did before ns.
    void ForgetLoopBefore(long long ns);

private:
    static void Record(const TPainterThread* thread, TPulsePoint point);
    void Loop(bool awake);

    mutable std::mutex lock_;
    std::unordered_map<const TPainterThread*, ProbedPulse> open_;
    std::vector<ProbedPulse> done_;
    std::vector<std::pair<long long, bool>> loop_;  // (ns, woke up) in time order
};

// CLOCK_MONOTONIC in nanoseconds, as the agent's trace stamps it.
long long MonotonicNs();
