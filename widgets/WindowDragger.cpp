#include "widgets/WindowDragger.h"

#include <QMouseEvent>
#include <QWindow>

#include "widgets/DisplayServer.h"

WindowDragger::WindowDragger(QWidget* window) : QObject(window), window_(window) {
    window->installEventFilter(this);
}

void WindowDragger::SetEnabled(bool on) {
    enabled_ = on;
    if (!on) {
        Finish();
    }
}

bool WindowDragger::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_) {
        return false;
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* me = static_cast<QMouseEvent*>(event);
            // Presses on controls belong to the controls; only the bare picture drags.
            const QPoint local = me->position().toPoint();
            if (!enabled_ || me->button() != Qt::LeftButton || window_->childAt(local)) {
                return false;
            }
            if (OnWaylandOnly()) {
                // Only the compositor may move a window there; it tells nothing of the steps.
                if (QWindow* handle = window_->windowHandle()) {
                    handle->startSystemMove();
                }
                return true;
            }
            pressGlobal_ = me->globalPosition().toPoint();
            // Taken from the press itself: the window's cached position can be stale
            // right after the window manager placed it, and the drag would jump.
            const QPoint frameOffset =
                window_->geometry().topLeft() - window_->frameGeometry().topLeft();
            startTopLeft_ = pressGlobal_ - local - frameOffset;
            dragging_ = true;
            Q_EMIT DragBegin();
            return true;
        }
        case QEvent::MouseMove: {
            auto* me = static_cast<QMouseEvent*>(event);
            if (!dragging_) {
                return false;
            }
            if (!(me->buttons() & Qt::LeftButton)) {
                // The release went elsewhere (a grab by another window).
                Finish();
                return false;
            }
            QRect rect = window_->frameGeometry();
            rect.moveTopLeft(startTopLeft_ + me->globalPosition().toPoint() - pressGlobal_);
            Q_EMIT Moving(rect);
            if (window_) {
                window_->move(rect.topLeft());
            }
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* me = static_cast<QMouseEvent*>(event);
            if (!dragging_ || me->button() != Qt::LeftButton) {
                return false;
            }
            Finish();
            return true;
        }
        case QEvent::Hide:
        case QEvent::WindowDeactivate:
            Finish();
            return false;
        default:
            return false;
    }
}

void WindowDragger::Finish() {
    if (dragging_) {
        dragging_ = false;
        Q_EMIT DragEnd();
    }
}
