// Runs a delay thread's finish handler on the GUI thread through the event loop,
// ahead of the events already waiting there (repaints, other queued work): a
// pulse's end write waits for nothing it need not. Once shut down (the main window
// is going away) nothing more is run.
#pragma once

#include <QPointer>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "pins/thread.h"

class QObject;

class TMainThreadDispatcher final : public TThreadDispatcher,
                                    public std::enable_shared_from_this<TMainThreadDispatcher> {
public:
    // On the GUI thread, once the application object exists.
    TMainThreadDispatcher();
    bool Synchronize(const std::function<void()>& fn) override;
    // Main thread only: refuses all further work and releases threads that wait.
    void Shutdown();

private:
    std::mutex lock_;
    std::condition_variable done_;
    bool shut_ = false;
    // Takes the calls on the GUI thread; a child of the application object, and
    // deleted by Shutdown, so never by a delay thread holding the last reference.
    QPointer<QObject> receiver_;
};
