// The tests' main thread: work handed over by delay threads waits in a queue
// until the test drains it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "pins/thread.h"

class QueueDispatcher : public TThreadDispatcher {
public:
    bool Synchronize(const std::function<void()>& fn) override {
        std::unique_lock lock(m_);
        if (shut_) {
            return false;
        }
        auto call = std::make_shared<Call>(Call{&fn, false});
        queue_.push_back(call);
        cv_.notify_all();
        cv_.wait(lock, [&] { return call->done || shut_; });
        return call->done;
    }

    // Runs queued work until `count` calls have run or the timeout passes.
    int Drain(int count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        int ran = 0;
        const auto until = std::chrono::steady_clock::now() + timeout;
        std::unique_lock lock(m_);
        while (ran < count) {
            if (!cv_.wait_until(lock, until, [&] { return !queue_.empty(); })) {
                break;
            }
            auto call = queue_.front();
            queue_.pop_front();
            lock.unlock();
            (*call->fn)();
            lock.lock();
            call->done = true;
            ++ran;
            cv_.notify_all();
        }
        return ran;
    }

    void Shutdown() {
        std::lock_guard lock(m_);
        shut_ = true;
        cv_.notify_all();
    }

private:
    struct Call {
        const std::function<void()>* fn;
        bool done;
    };
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<Call>> queue_;
    bool shut_ = false;
};
