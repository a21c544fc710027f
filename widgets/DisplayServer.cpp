#include "widgets/DisplayServer.h"

#include <QGuiApplication>
#include <QtGlobal>
#include <cstdio>

#if !defined(_WIN32) && defined(TARVIK_HAVE_XCB)
#include <xcb/xcb.h>
#endif

namespace {

bool choseX11 = false;

bool InWaylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qgetenv("XDG_SESSION_TYPE") == QByteArrayLiteral("wayland");
}

// Whether the X server of DISPLAY takes a connection (Xwayland may be started
// on demand by this very connection).
bool X11Reachable() {
#if !defined(_WIN32) && defined(TARVIK_HAVE_XCB)
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        return false;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const bool ok = xcb_connection_has_error(c) == 0;
    xcb_disconnect(c);
    return ok;
#else
    return false;
#endif
}

}  // namespace

void PreferX11InWaylandSession() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !InWaylandSession() || !X11Reachable()) {
        return;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    choseX11 = true;
}

void RestorePlatformChoice() {
    if (choseX11) {
        qunsetenv("QT_QPA_PLATFORM");
        choseX11 = false;
    }
}

bool OnWaylandOnly() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void ExplainWaylandLimits() {
    static bool said = false;
    if (said || !OnWaylandOnly()) {
        return;
    }
    said = true;
    std::fputs(
        "tarvik: running on Wayland without X11 (no Xwayland, or QT_QPA_PLATFORM=wayland):\n"
        "tarvik:   the compositor places the windows; the main window can't stay on top;\n"
        "tarvik:   the setup panel is a window of its own that opens and closes in place;\n"
        "tarvik:   drag either window by its picture. With Xwayland the program runs\n"
        "tarvik:   through X11, where all of this works as on any X11 desktop.\n",
        stderr);
}
