#include "widgets/NotifyIcon.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QWindowStateChangeEvent>

#include "widgets/NativeWindow.h"

namespace {

constexpr int kMaxHintLength = 63;

// On X11, Qt docks a private widget of this class into the tray host; its
// mouse releases carry the button and the position the activated() signal lacks.
bool IsTrayWidget(QObject* object) {
    return object->inherits("QSystemTrayIconSys");
}

}  // namespace

NotifyIcon::NotifyIcon(QWidget* owner) : QObject(owner), owner_(owner), tray_(this) {
    owner->installEventFilter(this);
    qApp->installEventFilter(this);
    connect(&tray_, &QSystemTrayIcon::activated, this, &NotifyIcon::OnActivated);
    // Removed when the event loop ends, not only when the owner is destroyed later.
    connect(qApp, &QCoreApplication::aboutToQuit, &tray_, &QSystemTrayIcon::hide);
    // At log-off the session's close requests must close, not hide.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { sessionEnding_ = true; });
    ApplyIcon();
    watch_.setInterval(kWatchIntervalMs);
    connect(&watch_, &QTimer::timeout, this, &NotifyIcon::CheckAvailability);
    watch_.start();
    CheckAvailability();
}

NotifyIcon::~NotifyIcon() {
    if (qApp) {
        qApp->removeEventFilter(this);
    }
    tray_.hide();
}

void NotifyIcon::SetPictures(const QList<QIcon>& pictures) {
    pictures_ = pictures;
    ApplyIcon();
}

void NotifyIcon::SetPictureIndex(int index) {
    if (index == index_ || index < 0 || index >= pictures_.size()) {
        return;
    }
    index_ = index;
    ApplyIcon();
}

void NotifyIcon::SetHint(const QString& hint) {
    tray_.setToolTip(hint.left(kMaxHintLength));
}

void NotifyIcon::SetMenu(QMenu* menu) {
    tray_.setContextMenu(menu);
}

void NotifyIcon::SetAvailabilityProbe(std::function<bool()> probe) {
    probe_ = std::move(probe);
    CheckAvailability();
}

void NotifyIcon::CheckAvailability() {
    const bool now = probe_ ? probe_() : QSystemTrayIcon::isSystemTrayAvailable();
    if (now && !tray_.isVisible()) {
        // Not before: Qt's own watch of the tray only exists on X11, and
        // elsewhere it complains about a window-system signal that isn't there.
        tray_.show();
    }
    if (now != available_) {
        available_ = now;
        Q_EMIT AvailabilityChanged(now);
    }
}

void NotifyIcon::ApplyIcon() {
    // The picture at the index, else the window's, the application's, the style's.
    QIcon icon;
    if (index_ >= 0 && index_ < pictures_.size()) {
        icon = pictures_[index_];
    }
    if (icon.isNull() && owner_) {
        icon = owner_->windowIcon();
    }
    if (icon.isNull()) {
        icon = QApplication::windowIcon();
    }
    if (icon.isNull()) {
        icon = QApplication::style()->standardIcon(QStyle::SP_TitleBarMenuButton);
    }
    tray_.setIcon(icon);
}

void NotifyIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    // Hosts that send activations (StatusNotifierItem) lack the pointer's
    // position; a docked icon's clicks come through the event filter instead.
    Qt::MouseButton button = Qt::NoButton;
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            button = Qt::LeftButton;
            break;
        case QSystemTrayIcon::Context:
            button = Qt::RightButton;
            break;
        case QSystemTrayIcon::MiddleClick:
            button = Qt::MiddleButton;
            break;
        default:
            return;  // double clicks do nothing
    }
    Q_EMIT MouseUp(button, QCursor::pos());
}

void NotifyIcon::WithdrawOwner() {
    if (!owner_ || !owner_->isVisible() || !(owner_->windowState() & Qt::WindowMinimized)) {
        return;
    }
    // Back to the normal state first, so that a later show() brings the window
    // back on the screen rather than as an icon; then off the screen, behind Qt's back.
    owner_->setWindowState(owner_->windowState() & ~Qt::WindowMinimized);
    WithdrawNativeWindow(owner_);
    Q_EMIT OwnerWithdrawn();
}

bool NotifyIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == owner_) {
        // The rules put the window away only where a tray shows the way back.
        const bool intoTray = available_;
        if (event->type() == QEvent::WindowStateChange && hideOnMinimize_ && intoTray) {
            auto* change = static_cast<QWindowStateChangeEvent*>(event);
            if ((owner_->windowState() & Qt::WindowMinimized) &&
                !(change->oldState() & Qt::WindowMinimized)) {
                // Not from inside the state change that the window system is delivering.
                QTimer::singleShot(0, this, &NotifyIcon::WithdrawOwner);
            }
        } else if ((event->type() == QEvent::Hide || event->type() == QEvent::Show) &&
                   event->spontaneous() && hideOnMinimize_ && intoTray) {
            // Qt sends these when the window is minimised and restored; the
            // program must not see them, the window still counts as shown.
            return true;
        } else if (event->type() == QEvent::Close && hideOnClose_ && !sessionEnding_ &&
                   event->spontaneous()) {
            event->ignore();
            if (intoTray) {
                owner_->hide();
            } else {
                owner_->showMinimized();
            }
            return true;
        }
        return false;
    }
    // A docked icon: every press is ours, so Qt neither reports it nor opens the
    // menu meant for the other hosts; the release is reported as the click.
    if ((event->type() == QEvent::MouseButtonPress ||
         event->type() == QEvent::MouseButtonDblClick) &&
        IsTrayWidget(watched)) {
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease && IsTrayWidget(watched)) {
        auto* me = static_cast<QMouseEvent*>(event);
        const Qt::MouseButton b = me->button();
        if (b == Qt::LeftButton || b == Qt::RightButton || b == Qt::MiddleButton) {
            Q_EMIT MouseUp(b, me->globalPosition().toPoint());
        }
    }
    return false;
}
