#include "bench/PulseProbeLog.h"

#include <time.h>
#include <unistd.h>

#include <cstdio>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <algorithm>

namespace {

PulseProbeLog* current = nullptr;

// The second figure of a thread's schedstat: ns it has spent runnable, waiting for a core.
long long RunDelayNs(int tid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/schedstat", tid);
    long long run = 0, wait = 0;
    if (std::FILE* f = std::fopen(path, "r")) {
        if (std::fscanf(f, "%lld %lld", &run, &wait) != 2) {
            wait = 0;
        }
        std::fclose(f);
    }
    return wait;
}

int ThisTid() {
    return static_cast<int>(::gettid());
}

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

namespace {

// Sorts the events delivered on the main thread into activities.
class ActivityFilter final : public QObject {
public:
    explicit ActivityFilter(PulseProbeLog& log) : QObject(qApp), log_(log) {}
    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (QThread::currentThread() != thread()) {
            return false;
        }
        Activity what = Activity::Other;
        switch (event->type()) {
            case QEvent::Timer:
                what = qobject_cast<QTimer*>(receiver) ? Activity::TimerTick : Activity::Other;
                break;
            case QEvent::UpdateRequest:
            case QEvent::Paint:
            case QEvent::Expose:
                what = Activity::Painting;
                break;
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseMove:
            case QEvent::Enter:
            case QEvent::Leave:
            case QEvent::HoverEnter:
            case QEvent::HoverLeave:
            case QEvent::HoverMove:
                what = Activity::Input;
                break;
            case QEvent::MetaCall:
                what = Activity::QueuedCall;
                break;
            default:
                break;
        }
        log_.Begin(what);
        return false;
    }

private:
    PulseProbeLog& log_;
};

}  // namespace

const char* ActivityName(Activity a) {
    switch (a) {
        case Activity::Waiting:
            return "waiting for events";
        case Activity::TimerTick:
            return "timer ticks";
        case Activity::Painting:
            return "painting";
        case Activity::Input:
            return "mouse input";
        case Activity::QueuedCall:
            return "queued calls";
        case Activity::Other:
            break;
    }
    return "other events";
}

void PulseProbeLog::WatchEventLoop() {
    mainTid_ = ThisTid();
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     [this] { Begin(Activity::Waiting); });
    qApp->installEventFilter(new ActivityFilter(*this));
}

void PulseProbeLog::Begin(Activity what) {
    const long long now = MonotonicNs();
    std::lock_guard lock(lock_);
    activities_.emplace_back(now, what);
}

void PulseProbeLog::Record(const TPainterThread* thread, TPulsePoint point) {
    const long long now = MonotonicNs();
    PulseProbeLog* self = current;
    long long runDelay = 0;
    if (self->runDelays_ && point != TPulsePoint::Started && point != TPulsePoint::EndWritten) {
        runDelay = RunDelayNs(point == TPulsePoint::HandedOver ? self->mainTid_ : ThisTid());
    }
    std::lock_guard lock(self->lock_);
    ProbedPulse& pulse = self->open_[thread];
    if (point == TPulsePoint::Started) {
        pulse = ProbedPulse{};  // a thread object at the address of one gone before
        pulse.pin = thread->Pin;
    }
    pulse.ns[std::size_t(point)] = now;
    switch (point) {
        case TPulsePoint::Running:
            pulse.delayThreadRunning = runDelay;
            break;
        case TPulsePoint::Woken:
            pulse.delayThreadWoken = runDelay;
            break;
        case TPulsePoint::HandedOver:
            pulse.mainAtHandOver = runDelay;
            break;
        case TPulsePoint::HandlerRuns:
            pulse.mainAtHandler = runDelay;
            break;
        default:
            break;
    }
    if (point == TPulsePoint::EndWritten) {
        self->done_.push_back(pulse);
        self->open_.erase(thread);
    }
}

std::vector<ProbedPulse> PulseProbeLog::TakePulses() {
    std::lock_guard lock(lock_);
    return std::exchange(done_, {});
}

std::vector<ActivitySpan> PulseProbeLog::ActivitiesBetween(long long fromNs, long long toNs) const {
    std::lock_guard lock(lock_);
    std::vector<ActivitySpan> spans;
    auto it = std::upper_bound(activities_.begin(), activities_.end(), fromNs,
                               [](long long ns, const auto& a) { return ns < a.first; });
    if (it != activities_.begin()) {
        --it;  // the span under way at fromNs
    }
    for (; it != activities_.end() && it->first < toNs; ++it) {
        const long long next = it + 1 != activities_.end() ? (it + 1)->first : toNs;
        const long long begin = std::max(it->first, fromNs), end = std::min(next, toNs);
        if (end > begin) {
            spans.push_back({begin, end, it->second});
        }
    }
    return spans;
}

void PulseProbeLog::ForgetActivitiesBefore(long long ns) {
    std::lock_guard lock(lock_);
    auto keep = std::upper_bound(activities_.begin(), activities_.end(), ns,
                                 [](long long t, const auto& a) { return t < a.first; });
    if (keep != activities_.begin()) {
        --keep;  // what the main thread was doing at ns
    }
    activities_.erase(activities_.begin(), keep);
}
