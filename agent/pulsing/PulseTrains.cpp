#include "agent/pulsing/PulseTrains.h"

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace agent {
namespace {

std::uint64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::uint64_t(ts.tv_sec) * 1000000000ULL + std::uint64_t(ts.tv_nsec);
}

}  // namespace

PulseTrains::PulseTrains(PulseLimits limits)
    : limits_(limits), timerFd_(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {}

PulseTrains::~PulseTrains() {
    if (timerFd_ >= 0) {
        ::close(timerFd_);
    }
}

std::vector<std::uint8_t> PulseTrains::Take(Backend& backend, const Request& request, Trace* trace,
                                            int clientPid) {
    PulseShape shape;
    int error = 0;
    if (!DecodePulse(request, shape).empty()) {
        error = EINVAL;
    } else if (!backend.Serves(shape.base)) {
        error = ENXIO;
    } else if ((error = backend.Check(shape.base, true)) == 0 &&
               (error = backend.Check(shape.base, false)) == 0) {
        const auto mine = std::count_if(trains_.begin(), trains_.end(),
                                        [&](const Train& t) { return t.pid == clientPid; });
        if (std::size_t(mine) >= limits_.perClient || trains_.size() >= limits_.total) {
            error = EBUSY;
        } else if (timerFd_ < 0) {
            error = EMFILE;
        }
    }
    if (error == 0) {
        Train train;
        train.shape = shape;
        train.pid = clientPid;
        trains_.push_back(train);
        Advance(backend, trace, nullptr);  // never waits: the timer takes what is near
    }
    std::vector<std::uint8_t> reply = ErrorReply(static_cast<std::uint32_t>(error));
    reply.insert(reply.end(), request.pairs, request.pairs + 2 * std::size_t(request.count));
    return reply;
}

bool PulseTrains::Blocked(std::size_t index) const {
    const Train& t = trains_[index];
    for (std::size_t j = 0; j < index; ++j) {
        const Train& earlier = trains_[j];
        if (earlier.shape.base == t.shape.base && (earlier.shape.mask & t.shape.mask) != 0) {
            return true;
        }
    }
    return false;
}

// One edge: the register is read (and traced) first, then the edge's time is
// waited for, then the write, so nothing but the write stands between that time and
// the line. No client can write in between: the agent's loop is ours meanwhile.
int PulseTrains::Edge(Backend& backend, Trace* trace, Train& t, std::uint64_t atNs,
                      const Meanwhile* meanwhile) {
    std::uint8_t now = 0;
    if (int e = backend.Read(t.shape.base, now); e != 0) {
        return e;
    }
    if (trace != nullptr) {
        trace->Add(false, t.shape.base, now, t.pid);
    }
    const bool rising = !t.high;
    std::uint8_t next = static_cast<std::uint8_t>((now & ~t.changed) | t.restore);
    if (rising) {
        next = static_cast<std::uint8_t>((now & ~t.shape.mask) | (t.shape.value & t.shape.mask));
        t.changed = static_cast<std::uint8_t>(now ^ next);
        t.restore = static_cast<std::uint8_t>(now & t.changed);
    }
    // What else may run while waiting stops short of the edge by more than it takes.
    while (meanwhile != nullptr && *meanwhile && NowNs() + MeanwhileMarginNs < atNs) {
        (*meanwhile)();
    }
    while (NowNs() < atNs) {
    }
    t.high = false;
    if (int e = backend.Write(t.shape.base, next); e != 0) {
        return e;
    }
    // The width counts from the write itself, not from when it was due.
    const std::uint64_t wroteNs = NowNs();
    if (trace != nullptr) {
        trace->Add(true, t.shape.base, next, t.pid);
    }
    t.high = rising;
    t.dueNs = wroteNs + (rising ? std::uint64_t(t.shape.widthUs) * 1000 : 0);
    return 0;
}

// Carries out every edge that is due, earliest first, and starts the trains that
// an ended one held back. The timer wakes the agent SpinLeadNs before an edge and
// the rest is waited out on the clock: waking takes the kernel tens of µs, at
// times hundreds, which would otherwise land on the width.
void PulseTrains::Advance(Backend& backend, Trace* trace, const Meanwhile* meanwhile) {
    for (bool waited = false;;) {
        Train* next = nullptr;
        for (std::size_t i = 0; i < trains_.size(); ++i) {
            Train& t = trains_[i];
            if (!t.started && !Blocked(i)) {
                t.started = true;
                t.originNs = t.dueNs = NowNs();
            }
            if (t.started && (next == nullptr || t.dueNs < next->dueNs)) {
                next = &t;
            }
        }
        const std::uint64_t now = NowNs();
        if (next == nullptr || next->dueNs > now + SpinLeadNs) {
            break;
        }
        // One wait a round: the poll loop serves the other clients between two.
        if (next->dueNs > now && (meanwhile == nullptr || std::exchange(waited, true))) {
            break;
        }
        Train& t = *next;
        const bool falling = t.high;
        bool ended = false;
        if (Edge(backend, trace, t, t.dueNs, meanwhile) != 0 ||
            (falling && ++t.done >= t.shape.count)) {
            ended = true;
        } else if (falling) {
            // Pulses start on the train's own grid, so a late one does not shift the
            // rest; but after a late end the lines rest at least half their time.
            const std::uint64_t periodNs = std::uint64_t(t.shape.periodUs) * 1000;
            const std::uint64_t restNs = (periodNs - std::uint64_t(t.shape.widthUs) * 1000) / 2;
            t.dueNs = std::max(t.originNs + t.done * periodNs, t.dueNs + restNs);
        }
        if (ended) {
            trains_.erase(trains_.begin() + (&t - trains_.data()));
        }
    }
    if (trace != nullptr) {
        trace->Flush();
    }
    ArmTimer();
}

void PulseTrains::ArmTimer() {
    if (timerFd_ < 0) {
        return;
    }
    std::uint64_t next = 0;
    for (const Train& t : trains_) {
        if (t.started && (next == 0 || t.dueNs < next)) {
            next = t.dueNs;
        }
    }
    itimerspec timer{};  // all zero: disarmed
    if (next != 0) {
        next = next > SpinLeadNs ? next - SpinLeadNs : 1;
        timer.it_value.tv_sec = static_cast<time_t>(next / 1000000000ULL);
        timer.it_value.tv_nsec = static_cast<long>(next % 1000000000ULL);
    }
    ::timerfd_settime(timerFd_, TFD_TIMER_ABSTIME, &timer, nullptr);
}

void PulseTrains::OnTimer(Backend& backend, Trace* trace, const Meanwhile& meanwhile) {
    std::uint64_t expirations = 0;
    if (::read(timerFd_, &expirations, sizeof expirations) < 0 && errno != EAGAIN) {
        return;
    }
    Advance(backend, trace, &meanwhile);
}

void PulseTrains::Abort(Backend& backend, Trace* trace) {
    for (Train& t : trains_) {
        if (t.high) {
            Edge(backend, trace, t, 0, nullptr);
        }
    }
    trains_.clear();
    if (trace != nullptr) {
        trace->Flush();
    }
    ArmTimer();
}

}  // namespace agent
