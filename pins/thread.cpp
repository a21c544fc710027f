#include "pins/thread.h"

#include <chrono>
#include <system_error>
#include <thread>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "framework/Exceptions.h"

namespace {

class SteadyTicks final : public TTickSource {
public:
    std::uint32_t Now() override {
        using namespace std::chrono;
        const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch());
        return static_cast<std::uint32_t>(ms.count());
    }
};

}  // namespace

TTickSource& MonotonicTickSource() {
    static SteadyTicks ticks;
    return ticks;
}

TPainterThread::TPainterThread(std::int32_t delayMs, std::shared_ptr<TThreadDispatcher> dispatcher,
                               TTickSource& ticks)
    : DelayMs(delayMs),
      Shared_(std::make_shared<Shared>()),
      Dispatcher_(std::move(dispatcher)),
      Ticks_(ticks) {
    try {
        // The OS thread exists from here on but waits until Start.
        std::thread([shared = Shared_, self = this] {
#ifdef __linux__
            // Without this the kernel may let the end of the wait slip by up to 50 µs,
            // to serve it together with other timers.
            ::prctl(PR_SET_TIMERSLACK, 1UL);
#endif
            {
                std::unique_lock lock(shared->lock);
                shared->wake.wait(lock, [&] { return shared->started || shared->abandoned; });
                if (shared->abandoned) {
                    return;
                }
            }
            self->Execute();
        }).detach();
    } catch (const std::system_error& e) {
        throw EThread("Thread creation error: " + e.code().message());
    }
}

TPainterThread::~TPainterThread() {
    std::lock_guard lock(Shared_->lock);
    if (!Shared_->started) {
        Shared_->abandoned = true;
        Shared_->wake.notify_all();
    }
}

void TPainterThread::Start() {
    // Read here rather than when the thread first runs, which on a busy or idle
    // machine can be milliseconds later and would lengthen the pulse by as much.
    // The tick first: the precise deadline then never comes before the tick count's.
    StartTick_ = Ticks_.Now();
    StartTime_ = std::chrono::steady_clock::now();
    MarkPulse(this, TPulsePoint::Started);
    std::lock_guard lock(Shared_->lock);
    Shared_->started = true;
    Shared_->wake.notify_all();
}

void TPainterThread::RequestStop() {
    {
        std::lock_guard lock(Shared_->lock);
        Shared_->stop.store(true);
    }
    Shared_->wake.notify_all();
}

void TPainterThread::Run() {
    const std::uint32_t start = StartTick_;
    for (;;) {
        const std::uint32_t elapsed = Ticks_.Now() - start;  // modulo 2^32
        if (static_cast<std::int64_t>(elapsed) >= DelayMs) {
            return;
        }
        if (Shared_->stop.load()) {
            return;
        }
        if (Wait == WaitStyle::Blocking) {
            // Sleep until the delay is due on the precise clock, not on the whole
            // milliseconds of the tick count; a tick count that still says more is
            // left has its way. A stop request wakes it early.
            const auto now = std::chrono::steady_clock::now();
            auto due = StartTime_ + std::chrono::milliseconds(DelayMs);
            if (due <= now) {
                due = now + std::chrono::milliseconds(DelayMs - static_cast<std::int64_t>(elapsed));
            }
            std::unique_lock lock(Shared_->lock);
            Shared_->wake.wait_until(lock, due, [&] { return Shared_->stop.load(); });
        }
    }
}

void TPainterThread::Execute() {
    MarkPulse(this, TPulsePoint::Running);
    Run();
    MarkPulse(this, TPulsePoint::Woken);
    const bool freeAfterwards = FreeWhenFinished;
    if (OnFinished && Dispatcher_) {
        MarkPulse(this, TPulsePoint::HandedOver);
        Dispatcher_->Synchronize([this] { OnFinished(this); });
    }
    if (freeAfterwards) {
        delete this;
    }
}
