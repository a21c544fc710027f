// Runs a delay thread's finish handler on the GUI thread through the event loop.
// Once shut down (the main window is going away) nothing more is run.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "pins/thread.h"

class TMainThreadDispatcher final : public TThreadDispatcher,
                                    public std::enable_shared_from_this<TMainThreadDispatcher> {
public:
    bool Synchronize(const std::function<void()>& fn) override;
    // Main thread only: refuses all further work and releases threads that wait.
    void Shutdown();

private:
    std::mutex lock_;
    std::condition_variable done_;
    bool shut_ = false;
};
