// The delay thread of one pulse: it only waits for the pin's delay (or a stop
// request), then has its finish handler run on the main thread and deletes itself.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class TPainterThread;

// Hands work to the main thread. The GUI provides one on its event loop; tests
// provide a queue they drain.
class TThreadDispatcher {
public:
    virtual ~TThreadDispatcher() = default;
    // Runs fn on the main thread and returns once it has run. Returns false, without
    // running it, once the dispatcher has been shut down.
    virtual bool Synchronize(const std::function<void()>& fn) = 0;
};

// The system tick count: milliseconds, unsigned 32-bit, wrapping.
class TTickSource {
public:
    virtual ~TTickSource() = default;
    virtual std::uint32_t Now() = 0;
};
TTickSource& MonotonicTickSource();

using TNotifyEvent = std::function<void(TPainterThread* sender)>;

// Points on a pulse's way from its wait to its end write. The pulse benchmark hooks
// a recorder in; without one each point costs one load.
enum class TPulsePoint {
    Started,      // the delay starts to count (Start)
    Running,      // the delay thread's body begins
    Woken,        // its wait is over
    HandedOver,   // it hands its finish handler to the main thread
    HandlerRuns,  // the finish handler begins, on the main thread
    EndWritten    // the end write has come back from the port
};
using TPulseProbe = void (*)(const TPainterThread* thread, TPulsePoint point);
inline std::atomic<TPulseProbe> PulseProbe{nullptr};
inline void MarkPulse(const TPainterThread* thread, TPulsePoint point) {
    if (const TPulseProbe probe = PulseProbe.load(std::memory_order_relaxed)) {
        probe(thread, point);
    }
}

class TPainterThread {
public:
    // How the body waits between two readings of the tick count.
    enum class WaitStyle {
        Spin,     // re-read at once, keeping a processor busy
        Blocking  // sleep until the delay is due or a stop is requested
    };

    // Creates the OS thread suspended; throws EThread when the system refuses.
    TPainterThread(std::int32_t delayMs, std::shared_ptr<TThreadDispatcher> dispatcher,
                   TTickSource& ticks = MonotonicTickSource());
    // Deleting a thread that was never started is the owner's business; a started
    // one deletes itself after its finish handler when FreeWhenFinished is set.
    virtual ~TPainterThread();
    TPainterThread(const TPainterThread&) = delete;
    TPainterThread& operator=(const TPainterThread&) = delete;

    // The delay counts from here, not from when the system first lets the thread run.
    void Start();
    void RequestStop();
    bool StopRequested() const { return Shared_->stop.load(); }

    // The style new threads take; the pulse benchmark switches it before it creates
    // any. Blocking: on two cores, eight spinning threads starve the main thread
    // that writes the end levels, and the pulses come out tens of ms too long.
    static inline WaitStyle DefaultWait = WaitStyle::Blocking;

    bool FreeWhenFinished = false;
    TNotifyEvent OnFinished;
    WaitStyle Wait = DefaultWait;

    void SetMask(std::int32_t mask) { Mask = mask; }
    void SetPin(std::int32_t pin) { Pin = pin; }
    void SetDirection(bool direction) { Direction = direction; }

    // Written before Start; read by the finish handler.
    const std::int32_t DelayMs;
    std::int32_t Mask = 0;
    bool Direction = false;
    std::int32_t Pin = 0;

protected:
    // The thread body: waits until the delay has passed or a stop is requested.
    virtual void Run();

private:
    struct Shared {
        std::mutex lock;
        std::condition_variable wake;
        bool started = false;
        bool abandoned = false;
        std::atomic<bool> stop{false};
    };
    void Execute();

    // Taken by Start, before the thread runs.
    std::uint32_t StartTick_ = 0;
    std::chrono::steady_clock::time_point StartTime_;
    std::shared_ptr<Shared> Shared_;
    std::shared_ptr<TThreadDispatcher> Dispatcher_;
    TTickSource& Ticks_;
};
