// The delay thread: waiting on the tick count, stopping, finishing on the main
// thread exactly once and deleting itself afterwards.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// After windows.h.
#include <tlhelp32.h>
#else
#include <filesystem>
#include <iterator>
#endif

#include "pins/thread.h"
#include "support/Eventually.h"
#include "support/QueueDispatcher.h"

namespace {

// A tick count that moves one millisecond per reading, from a chosen start.
class SteppingTicks : public TTickSource {
public:
    explicit SteppingTicks(std::uint32_t start) : now_(start) {}
    std::uint32_t Now() override {
        ++reads;
        return now_.fetch_add(1);
    }
    std::atomic<int> reads{0};

private:
    std::atomic<std::uint32_t> now_;
};

// A tick count that moves only when the test moves it; tells which threads have
// taken their start reading.
class ManualTicks : public TTickSource {
public:
    std::uint32_t Now() override {
        std::lock_guard lock(m_);
        readers_.insert(std::this_thread::get_id());
        return now_;
    }
    void Set(std::uint32_t now) {
        std::lock_guard lock(m_);
        now_ = now;
    }
    std::size_t Readers() {
        std::lock_guard lock(m_);
        return readers_.size();
    }

private:
    std::mutex m_;
    std::uint32_t now_ = 1000;
    std::set<std::thread::id> readers_;
};

// A clock that stands still until the test moves it. Readings on other threads
// than the test's wait until it has moved: the delay thread runs late.
class HeldTicks : public TTickSource {
public:
    explicit HeldTicks(std::uint32_t now) : now_(now) {}
    std::uint32_t Now() override {
        std::unique_lock lock(m_);
        if (std::this_thread::get_id() != owner_) {
            moved_cv_.wait(lock, [&] { return moved_; });
        }
        return now_;
    }
    void Move(std::uint32_t to) {
        std::lock_guard lock(m_);
        now_ = to;
        moved_ = true;
        moved_cv_.notify_all();
    }

private:
    std::mutex m_;
    std::condition_variable moved_cv_;
    const std::thread::id owner_ = std::this_thread::get_id();
    std::uint32_t now_;
    bool moved_ = false;
};

// The threads the system counts for this process.
int OSThreadCount() {
#ifdef _WIN32
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = ::Thread32First(snapshot, &entry); more;
         more = ::Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == ::GetCurrentProcessId() ? 1 : 0;
    }
    ::CloseHandle(snapshot);
    return count;
#else
    const auto tasks = std::filesystem::directory_iterator("/proc/self/task");
    return static_cast<int>(std::distance(begin(tasks), end(tasks)));
#endif
}

std::atomic<int> deleted{0};

class CountedThread : public TPainterThread {
public:
    using TPainterThread::TPainterThread;
    ~CountedThread() override { ++deleted; }
};

struct Finishes {
    std::vector<int> pins;
    TNotifyEvent Handler() {
        return [this](TPainterThread* t) { pins.push_back(t->Pin); };
    }
};

CountedThread* MakeThread(int delay, std::shared_ptr<QueueDispatcher> d, Finishes& f, int pin,
                          TTickSource& ticks = MonotonicTickSource()) {
    auto* t = new CountedThread(delay, d, ticks);  // deletes itself after finishing
    t->FreeWhenFinished = true;
    t->OnFinished = f.Handler();
    t->SetPin(pin);
    return t;
}

}  // namespace

TEST(DelayThread, ZeroDelayReturnsAfterTheFirstReadingAndDeletesItselfAfterTheHandler) {
    auto d = std::make_shared<QueueDispatcher>();
    Finishes f;
    SteppingTicks ticks(500);
    deleted = 0;
    auto* t = MakeThread(0, d, f, 4, ticks);
    t->Wait = TPainterThread::WaitStyle::Spin;
    t->Start();
    ASSERT_EQ(d->Drain(1), 1);
    EXPECT_EQ(f.pins, std::vector<int>{4});
    EXPECT_EQ(ticks.reads, 2) << "the start reading and one more";
    EXPECT_TRUE(Eventually([] { return deleted == 1; }));
}

TEST(DelayThread, WaitAcrossTheTickWrapStillLastsTheDelay) {
    auto d = std::make_shared<QueueDispatcher>();
    Finishes f;
    SteppingTicks ticks(0xFFFFFFF0u);
    auto* t = MakeThread(100, d, f, 2, ticks);
    t->Wait = TPainterThread::WaitStyle::Spin;
    t->Start();
    ASSERT_EQ(d->Drain(1), 1);
    // Readings at start+1 ... start+100: the hundredth one ends the wait.
    EXPECT_EQ(ticks.reads, 101);
}

TEST(DelayThread, TheDelayCountsFromStartNotFromWhenTheThreadFirstRuns) {
    for (auto style : {TPainterThread::WaitStyle::Spin, TPainterThread::WaitStyle::Blocking}) {
        auto d = std::make_shared<QueueDispatcher>();
        Finishes f;
        HeldTicks ticks(1000);
        auto* t = MakeThread(50, d, f, 3, ticks);
        t->Wait = style;
        t->Start();
        ticks.Move(1050);  // the thread first reads the clock when the delay is over
        EXPECT_EQ(d->Drain(1, std::chrono::seconds(5)), 1) << "ends at its first reading";
    }
}

TEST(DelayThread, StopBeforeTheFirstPassEndsAtOnceAndStillFinishesOnce) {
    for (auto style : {TPainterThread::WaitStyle::Spin, TPainterThread::WaitStyle::Blocking}) {
        auto d = std::make_shared<QueueDispatcher>();
        Finishes f;
        auto* t = MakeThread(6000000, d, f, 9);
        t->Wait = style;
        t->RequestStop();
        t->Start();
        ASSERT_EQ(d->Drain(1), 1) << "the delay is 100 minutes";
        EXPECT_EQ(f.pins, std::vector<int>{9});
        EXPECT_EQ(d->Drain(1, std::chrono::milliseconds(50)), 0) << "exactly one finish";
    }
}

TEST(DelayThread, StopDuringABlockingWaitWakesIt) {
    auto d = std::make_shared<QueueDispatcher>();
    Finishes f;
    SteppingTicks ticks(0);
    auto* t = MakeThread(60000, d, f, 3, ticks);
    t->Start();
    // Two readings (start, elapsed) come just before the wait.
    ASSERT_TRUE(Eventually([&] { return ticks.reads >= 2; }));
    t->RequestStop();
    ASSERT_EQ(d->Drain(1), 1) << "the delay is a minute";
}

TEST(DelayThread, ShorterDelayFinishesFirstEachHandlerOnce) {
    for (auto style : {TPainterThread::WaitStyle::Spin, TPainterThread::WaitStyle::Blocking}) {
        auto d = std::make_shared<QueueDispatcher>();
        Finishes f;
        ManualTicks ticks;
        auto* slow = MakeThread(300, d, f, 7, ticks);
        auto* fast = MakeThread(100, d, f, 5, ticks);
        slow->Wait = fast->Wait = style;
        slow->Start();
        fast->Start();
        // This thread took the start readings; both delay threads are at their wait.
        ASSERT_TRUE(Eventually([&] { return ticks.Readers() == 3; }));
        ticks.Set(1099);
        EXPECT_EQ(d->Drain(1, std::chrono::milliseconds(150)), 0) << "one tick too early";
        ticks.Set(1100);
        ASSERT_EQ(d->Drain(1), 1);
        EXPECT_EQ(f.pins, std::vector<int>{5});
        EXPECT_EQ(d->Drain(1, std::chrono::milliseconds(150)), 0);
        ticks.Set(1300);
        ASSERT_EQ(d->Drain(1), 1);
        EXPECT_EQ(f.pins, (std::vector<int>{5, 7}));
        EXPECT_EQ(d->Drain(1, std::chrono::milliseconds(50)), 0);
    }
}

TEST(DelayThread, AfterShutdownTheHandlerNeverRunsButTheThreadStillGoesAway) {
    auto d = std::make_shared<QueueDispatcher>();
    Finishes f;
    deleted = 0;
    auto* t = MakeThread(30, d, f, 6);
    t->Start();
    d->Shutdown();
    EXPECT_TRUE(Eventually([] { return deleted == 1; }));
    EXPECT_TRUE(f.pins.empty());
}

// A click abandoned between creating and starting its thread: the OS thread,
// waiting for a start that never comes, must end with the object.
TEST(DelayThread, AnUnstartedThreadCanBeDeletedByItsOwnerAndItsOSThreadEnds) {
    auto d = std::make_shared<QueueDispatcher>();
    Finishes f;
    deleted = 0;
    // A first thread makes the runtime start its own helpers (ThreadSanitizer
    // has one), so that only ours are counted.
    std::thread([] {}).join();
    const int before = OSThreadCount();
    for (int i = 0; i < 8; ++i) {
        delete MakeThread(100, d, f, 2);
    }
    EXPECT_EQ(deleted, 8);
    EXPECT_TRUE(Eventually([&] { return OSThreadCount() <= before; }))
        << OSThreadCount() - before << " left behind";
    EXPECT_EQ(d->Drain(1, std::chrono::milliseconds(50)), 0);
}
