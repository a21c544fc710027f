// Where the windows go and how they come back on the desktop at hand: into the
// tray where a tray host shows the icon, else a normal minimise that keeps them
// in the task bar or dock; the setup window going and coming with the main
// window; the tray icon's menu for the hosts that open menus themselves; and
// the adjustments for a Wayland compositor without X11.
#include <QAction>
#include <QMenu>
#include <QWindowStateChangeEvent>
#include <cstdio>

#include "mainwindow/Form1Layout.h"
#include "mainwindow/Unit1.h"
#include "setup/Setup.h"
#include "widgets/DisplayServer.h"
#include "widgets/GlyphButton.h"
#include "widgets/NativeWindow.h"
#include "widgets/NotifyIcon.h"
#include "widgets/WindowShape.h"

namespace {

const char* const NoTrayHint =
    "Свернуть программу\n(области уведомлений (Tray) нет:\nокно уходит в панель задач)";

bool IntoTray(const NotifyIcon* icon) {
    return icon && icon->Available();
}

}  // namespace

void TForm1::PutAway() {
    if (IntoTray(TrayIcon)) {
        hide();
    } else {
        showMinimized();
    }
}

void TForm1::ShowHideWindows() {
    // Asked of the window system: a window minimised or withdrawn behind Qt's
    // back still counts as shown, and a click must bring it back, not hide it.
    if (ReallyOnScreen(this)) {
        hide();
    } else {
        BringBackOnScreen(this);
    }
}

void TForm1::FlipTrayPin() {
    // Clicked as the user would, so the pin's delay and direction apply.
    if (TrayPinNumber >= FirstDataPin && TrayPinNumber <= LastDataPin &&
        PinButtons[TrayPinNumber]) {
        PinButtons[TrayPinNumber]->Click();
    }
}

void TForm1::ShowTrayAvailability(bool available) {
    if (TrayIcon == nullptr) {
        return;
    }
    QString hint;
    for (const form1::Control& c : form1::Controls()) {
        if (c.name == QLatin1String("btnHide")) {
            hint = c.hint;
        }
    }
    btnHide->setToolTip(available ? hint : QString::fromUtf8(NoTrayHint));
    static bool said = false;
    if (!available && !said) {
        said = true;
        std::fputs(
            "tarvik: no notification area (system tray) on this desktop: \"_\" and a close\n"
            "tarvik:   request (Alt+F4) minimise the window into the task bar or dock instead\n"
            "tarvik:   of hiding it; the tray icon appears when a tray comes.\n",
            stderr);
    }
}

void TForm1::TrayAvailabilityChanged(bool available) {
    ShowTrayAvailability(available);
    // A window put away into a tray that has gone must not stay out of reach.
    if (!available && Shown_ && (!isVisible() || WithdrawnIntoTray_)) {
        BringBackOnScreen(this);
    }
}

void TForm1::changeEvent(QEvent* event) {
    TForm::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        FollowMinimise(static_cast<QWindowStateChangeEvent*>(event)->oldState());
    }
}

void TForm1::FollowMinimise(Qt::WindowStates oldState) {
    // With a tray the icon's rule withdraws this window, and the setup window
    // follows its signal; here it is a minimise the desktop keeps track of.
    if (FrmSetup == nullptr || (IntoTray(TrayIcon) && TrayIcon->HideOnMinimize())) {
        return;
    }
    const bool was = oldState & Qt::WindowMinimized;
    const bool now = isMinimized();
    if (now && !was && FrmSetup->isVisible()) {
        FrmSetup->hide();
        SetupAwayWithMinimise_ = true;
    } else if (!now && was && SetupAwayWithMinimise_) {
        SetupAwayWithMinimise_ = false;
        if (isVisible()) {
            FrmSetup->show();
            raise();
        }
    }
}

void TForm1::BuildTrayMenu() {
    TrayMenu = new QMenu(this);
    TrayMenu->setObjectName(QStringLiteral("TrayMenu"));
    ShowHideAction_ = TrayMenu->addAction(QString());
    connect(ShowHideAction_, &QAction::triggered, this, &TForm1::ShowHideWindows);
    FlipAction_ = TrayMenu->addAction(QString());
    connect(FlipAction_, &QAction::triggered, this, &TForm1::FlipTrayPin);
    TrayMenu->addSeparator();
    // Ends the program as btnClose does, settings saved.
    connect(TrayMenu->addAction(QString::fromUtf8("Выход")), &QAction::triggered, this,
            &TForm1::btnCloseClick);
    UpdateTrayMenu();
    TrayIcon->SetMenu(TrayMenu);
}

void TForm1::UpdateTrayMenu() {
    if (ShowHideAction_ == nullptr) {
        return;
    }
    // Unchanged texts are not sent again: a host re-reads the menu on every change.
    // (Asked of the program's own state: this runs on every tick.)
    const bool shown = isVisible() && !isMinimized() && !WithdrawnIntoTray_;
    ShowHideAction_->setText(shown ? QString::fromUtf8("Скрыть окно")
                                   : QString::fromUtf8("Показать окно"));
    FlipAction_->setText(QString::fromUtf8("Переключить Pin%1").arg(TrayPinNumber));
}

void TForm1::AdaptToWaylandOnly() {
    if (!OnWaylandOnly()) {
        KeepAboveOnceShown(this);
        return;
    }
    // The compositor places the setup window; the user drags it where it suits.
    if (FrmSetup) {
        FrmSetup->SetupShape->SetDraggable(true);
    }
    ExplainWaylandLimits();
}
