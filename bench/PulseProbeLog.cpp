#include "bench/PulseProbeLog.h"

#include <time.h>

#include <QAbstractEventDispatcher>
#include <QObject>
#include <algorithm>

namespace {

PulseProbeLog* current = nullptr;

}  // namespace

long long MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

PulseProbeLog::PulseProbeLog() {
    current = this;
    PulseProbe.store(&PulseProbeLog::Record);
}

PulseProbeLog::~PulseProbeLog() {
    PulseProbe.store(nullptr);
    current = nullptr;
}

void PulseProbeLog::WatchEventLoop() {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [this] { Loop(false); });
    QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [this] { Loop(true); });
}

void PulseProbeLog::Record(const TPainterThread* thread, TPulsePoint point) {
    const long long now = MonotonicNs();
    PulseProbeLog* self = current;
    std::lock_guard lock(self->lock_);
    ProbedPulse& pulse = self->open_[thread];
    if (point == TPulsePoint::Started) {
        pulse = ProbedPulse{};  // a thread object at the address of one gone before
        pulse.pin = thread->Pin;
    }
    pulse.ns[std::size_t(point)] = now;
    if (point == TPulsePoint::EndWritten) {
        self->done_.push_back(pulse);
        self->open_.erase(thread);
    }
}

void PulseProbeLog::Loop(bool awake) {
    const long long now = MonotonicNs();
    std::lock_guard lock(lock_);
    // The dispatcher may tell of a wake-up several times in a row; the first counts.
    if (!loop_.empty() && loop_.back().second == awake) {
        return;
    }
    loop_.emplace_back(now, awake);
}

std::vector<ProbedPulse> PulseProbeLog::TakePulses() {
    std::lock_guard lock(lock_);
    return std::exchange(done_, {});
}

LoopState PulseProbeLog::LoopAt(long long ns) const {
    std::lock_guard lock(lock_);
    LoopState state;
    const auto after = std::upper_bound(loop_.begin(), loop_.end(), std::make_pair(ns, true));
    if (after == loop_.begin()) {
        return state;
    }
    const auto& [since, woke] = *(after - 1);
    state.asleep = !woke;
    state.sinceNs = since;
    return state;
}

void PulseProbeLog::ForgetLoopBefore(long long ns) {
    std::lock_guard lock(lock_);
    auto keep = std::lower_bound(loop_.begin(), loop_.end(), std::make_pair(ns, false));
    if (keep != loop_.begin()) {
        --keep;  // what the loop was doing at ns
    }
    loop_.erase(loop_.begin(), keep);
}
