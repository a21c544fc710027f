#include "framework/MainThreadDispatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

namespace {

class CallEvent final : public QEvent {
public:
    explicit CallEvent(std::function<void()> call) : QEvent(Type()), Call(std::move(call)) {}
    static QEvent::Type Type() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    const std::function<void()> Call;
};

class CallReceiver final : public QObject {
public:
    using QObject::QObject;
    bool event(QEvent* e) override {
        if (e->type() == CallEvent::Type()) {
            static_cast<CallEvent*>(e)->Call();
            return true;
        }
        return QObject::event(e);
    }
};

}  // namespace

TMainThreadDispatcher::TMainThreadDispatcher() {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        receiver_ = new CallReceiver(app);
    }
}

bool TMainThreadDispatcher::Synchronize(const std::function<void()>& fn) {
    // Checked and posted under the lock: once Shutdown has returned, no thread
    // reaches the application's objects any more, which may be on their way out.
    std::unique_lock lock(lock_);
    if (shut_ || receiver_.isNull()) {
        return false;
    }
    if (QThread::currentThread() == receiver_->thread()) {
        lock.unlock();
        fn();
        return true;
    }
    auto ran = std::make_shared<bool>(false);
    // The call and Shutdown both run on the GUI thread, so a call that finds the
    // dispatcher open may use fn: its caller is still waiting for it.
    auto call = [self = shared_from_this(), ran, &fn] {
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
    };
    // Before repaints and other work already queued; the events of the window
    // system and the timers come when the event loop turns to them.
    QCoreApplication::postEvent(receiver_, new CallEvent(call), Qt::HighEventPriority);
    done_.wait(lock, [&] { return *ran || shut_; });
    return *ran;
}

void TMainThreadDispatcher::Shutdown() {
    std::lock_guard lock(lock_);
    shut_ = true;
    done_.notify_all();
    delete receiver_;  // calls still queued for it go with it
}
