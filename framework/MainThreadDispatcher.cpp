#include "framework/MainThreadDispatcher.h"

#include <QCoreApplication>
#include <QThread>

bool TMainThreadDispatcher::Synchronize(const std::function<void()>& fn) {
    // Checked and posted under the lock: once Shutdown has returned, no thread
    // reaches the application object any more, which may be on its way out.
    std::unique_lock lock(lock_);
    QCoreApplication* app = QCoreApplication::instance();
    if (shut_ || app == nullptr) {
        return false;
    }
    if (QThread::currentThread() == app->thread()) {
        lock.unlock();
        fn();
        return true;
    }
    auto ran = std::make_shared<bool>(false);
    // The queued call and Shutdown both run on the GUI thread, so a call that finds
    // the dispatcher open may use fn: its caller is still waiting for it.
    QMetaObject::invokeMethod(
        app,
        [self = shared_from_this(), ran, &fn] {
            {
                std::lock_guard lock(self->lock_);
                if (self->shut_) {
                    return;
                }
            }
            try {
                fn();
            } catch (...) {
                std::lock_guard lock(self->lock_);
                *ran = true;
                self->done_.notify_all();
                throw;  // reported by the application's error box
            }
            std::lock_guard lock(self->lock_);
            *ran = true;
            self->done_.notify_all();
        },
        Qt::QueuedConnection);
    done_.wait(lock, [&] { return *ran || shut_; });
    return *ran;
}

void TMainThreadDispatcher::Shutdown() {
    std::lock_guard lock(lock_);
    shut_ = true;
    done_.notify_all();
}
