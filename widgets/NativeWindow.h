// The few things the notification-area icon needs from the window system that
// Qt does not offer.
#pragma once

#include <QWidget>

// Takes the window off the screen on the window system's side only: Qt still
// counts the widget as visible and sends it no hide event.
void WithdrawNativeWindow(QWidget* window);

// True while the window is on the screen as far as the window system knows.
bool NativeWindowMapped(QWidget* window);

// True while the window is shown, not minimised and on the screen.
bool ReallyOnScreen(QWidget* window);

// Brings the window back on the screen, raised and active, whatever took it
// away: a hide, a minimise, or a withdrawal behind Qt's back. On Wayland, where
// a program can neither see nor undo a minimise, the window is shown afresh.
void BringBackOnScreen(QWidget* window);

// Where the window system has the window's client area now, in Qt's coordinates.
// On X11 Qt's cached position can be wrong for good after a window manager took
// the window in: Qt may read it while the window's frame is not yet placed.
QPoint WindowSystemPosition(QWidget* window);

// Asks the window manager again, each time the window has appeared, to keep it
// above other windows. Some (GNOME's mutter) drop the request a window carries
// when it first maps; asked once it is managed, they keep it.
void KeepAboveOnceShown(QWidget* window);
