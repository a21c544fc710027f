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
    std::array<long long, 6> ns{};  // by TPulsePoint; 0 = not seen
    long long At(TPulsePoint p) const { return ns[std::size_t(p)]; }
    // With the scheduler's figures on: how long, in all, the thread had been
    // runnable but without a core (its run delay), read at some of the points.
    long long delayThreadRunning = 0, delayThreadWoken = 0;  // the delay thread's own
    long long mainAtHandOver = 0, mainAtHandler = 0;         // the main thread's
};

// What the main thread was doing: a span begins when an event is delivered to one
// of its objects, or when its loop goes to wait for events, and lasts until the
// next one begins.
enum class Activity { Waiting, TimerTick, Painting, Input, QueuedCall, Other };
inline constexpr int ActivityKinds = 6;
const char* ActivityName(Activity a);
struct ActivitySpan {
    long long beginNs = 0, endNs = 0;
    Activity what = Activity::Other;
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
    // Reads the scheduler's run delays at the points too. Each reading costs a few
    // microseconds, some of them on the way to the end write.
    void ReadRunDelays() { runDelays_ = true; }

    // The pulses whose end write has come back since the last call.
    std::vector<ProbedPulse> TakePulses();
    // The main thread's spans that overlap [fromNs, toNs), clipped to it.
    std::vector<ActivitySpan> ActivitiesBetween(long long fromNs, long long toNs) const;
    // Drops what the main thread did before ns.
    void ForgetActivitiesBefore(long long ns);
    // Main thread: a span begins now.
    void Begin(Activity what);

private:
    static void Record(const TPainterThread* thread, TPulsePoint point);

    bool runDelays_ = false;
    int mainTid_ = 0;
    mutable std::mutex lock_;
    std::unordered_map<const TPainterThread*, ProbedPulse> open_;
    std::vector<ProbedPulse> done_;
    std::vector<std::pair<long long, Activity>> activities_;  // beginnings, in time order
};

// CLOCK_MONOTONIC in nanoseconds, as the agent's trace stamps it.
long long MonotonicNs();
