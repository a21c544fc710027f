#include "widgets/NativeWindow.h"

#include "widgets/DisplayServer.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <optional>

#ifdef _WIN32
#include <windows.h>
#elif defined(TARVIK_HAVE_XCB)
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#endif

namespace {

#if !defined(_WIN32) && defined(TARVIK_HAVE_XCB)
xcb_connection_t* X11Connection() {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

struct FreeReply {
    void operator()(void* p) const { std::free(p); }
};
#endif

}  // namespace

void WithdrawNativeWindow(QWidget* window) {
    if (!window || !window->testAttribute(Qt::WA_WState_Created)) {
        return;
    }
#ifdef _WIN32
    ::ShowWindow(reinterpret_cast<HWND>(window->winId()), SW_HIDE);
#elif defined(TARVIK_HAVE_XCB)
    xcb_connection_t* c = X11Connection();
    if (!c) {
        return;
    }
    const auto id = static_cast<xcb_window_t>(window->winId());
    std::unique_ptr<xcb_get_geometry_reply_t, FreeReply> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr));
    if (!geometry) {
        return;
    }
    xcb_unmap_window(c, id);
    // The window manager learns of the withdrawal from a synthetic UnmapNotify
    // sent to the root window (ICCCM 4.1.4); the event is a fixed 32 bytes.
    xcb_unmap_notify_event_t unmap{};
    unmap.response_type = XCB_UNMAP_NOTIFY;
    unmap.event = geometry->root;
    unmap.window = id;
    char buffer[32] = {};
    std::memcpy(buffer, &unmap, sizeof unmap);
    xcb_send_event(c, 0, geometry->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   buffer);
    xcb_flush(c);
#endif
}

bool NativeWindowMapped(QWidget* window) {
    if (!window || !window->testAttribute(Qt::WA_WState_Created)) {
        return false;
    }
#ifdef _WIN32
    return ::IsWindowVisible(reinterpret_cast<HWND>(window->winId()));
#elif defined(TARVIK_HAVE_XCB)
    xcb_connection_t* c = X11Connection();
    if (!c) {
        return window->isVisible();
    }
    const auto id = static_cast<xcb_window_t>(window->winId());
    std::unique_ptr<xcb_get_window_attributes_reply_t, FreeReply> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr));
    return attributes && attributes->map_state != XCB_MAP_STATE_UNMAPPED;
#else
    return window->isVisible();
#endif
}

bool ReallyOnScreen(QWidget* window) {
    return window && window->isVisible() && !window->isMinimized() && NativeWindowMapped(window);
}

void BringBackOnScreen(QWidget* window) {
    if (!window) {
        return;
    }
    const bool minimized = window->isMinimized();
    if (minimized) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    }
    if (!window->isVisible()) {
        window->show();
    } else if (OnWaylandOnly() || (!minimized && !NativeWindowMapped(window))) {
        // (Elsewhere leaving the minimised state maps the window again.)
        // A hide and a show bring it back as the program shows it, with the
        // windows that follow it.
        window->hide();
        window->show();
    }
    window->raise();
    window->activateWindow();
}

namespace {

// The request a client sends for a window that is managed already (EWMH
// _NET_WM_STATE, action "add", from an application).
void AskToStayAbove(QWidget* window) {
#if !defined(_WIN32) && defined(TARVIK_HAVE_XCB)
    xcb_connection_t* c = X11Connection();
    if (!c) {
        return;
    }
    auto atom = [c](const char* name) {
        std::unique_ptr<xcb_intern_atom_reply_t, FreeReply> reply(xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    };
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t state = atom("_NET_WM_STATE");
    const xcb_atom_t above = atom("_NET_WM_STATE_ABOVE");
    // Only where the manager dropped it: a request it would ignore is noise.
    std::unique_ptr<xcb_get_property_reply_t, FreeReply> current(xcb_get_property_reply(
        c, xcb_get_property(c, 0, id, state, XCB_ATOM_ATOM, 0, 32), nullptr));
    if (current) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(current.get()));
        const int count = xcb_get_property_value_length(current.get()) / 4;
        if (std::find(atoms, atoms + count, above) != atoms + count) {
            return;
        }
    }
    std::unique_ptr<xcb_get_geometry_reply_t, FreeReply> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr));
    if (!geometry) {
        return;
    }
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = state;
    message.data.data32[0] = 1;  // add
    message.data.data32[1] = above;
    message.data.data32[3] = 1;  // from an application
    char buffer[32] = {};
    std::memcpy(buffer, &message, sizeof message);
    xcb_send_event(c, 0, geometry->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   buffer);
    xcb_flush(c);
#else
    (void)window;
#endif
}

class AboveKeeper : public QObject {
public:
    explicit AboveKeeper(QWidget* window) : QObject(window), window_(window) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Show) {
            asked_ = false;
            if (QWindow* handle = window_->windowHandle()) {
                handle->removeEventFilter(this);
                handle->installEventFilter(this);
            }
        } else if (event->type() == QEvent::Expose && !asked_ && window_->windowHandle() &&
                   watched == window_->windowHandle() && window_->windowHandle()->isExposed()) {
            asked_ = true;
            if (window_->windowFlags() & Qt::WindowStaysOnTopHint) {
                AskToStayAbove(window_);
            }
        }
        return false;
    }

private:
    QWidget* window_;
    bool asked_ = false;
};

}  // namespace

void KeepAboveOnceShown(QWidget* window) {
    if (window && !OnWaylandOnly() && QGuiApplication::platformName() == QLatin1String("xcb")) {
        new AboveKeeper(window);
    }
}

QPoint WindowSystemPosition(QWidget* window) {
    if (!window) {
        return {};
    }
    const QPoint cached = window->geometry().topLeft();
    if (!window->isWindow() || !window->testAttribute(Qt::WA_WState_Created)) {
        return cached;
    }
    std::optional<QPoint> native;
#ifdef _WIN32
    POINT client{0, 0};
    if (::ClientToScreen(reinterpret_cast<HWND>(window->winId()), &client)) {
        native = QPoint(client.x, client.y);
    }
#elif defined(TARVIK_HAVE_XCB)
    if (xcb_connection_t* c = X11Connection()) {
        const auto id = static_cast<xcb_window_t>(window->winId());
        std::unique_ptr<xcb_get_geometry_reply_t, FreeReply> geometry(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr));
        if (geometry) {
            std::unique_ptr<xcb_translate_coordinates_reply_t, FreeReply> at(
                xcb_translate_coordinates_reply(
                    c, xcb_translate_coordinates(c, id, geometry->root, 0, 0), nullptr));
            if (at) {
                native = QPoint(at->dst_x, at->dst_y);
            }
        }
    }
#endif
    if (!native) {
        return cached;
    }
    // Device pixels to Qt's: scaled about the screen's origin, which both share.
    const QScreen* screen = window->screen();
    const QPointF origin = screen ? QPointF(screen->geometry().topLeft()) : QPointF();
    const qreal ratio = window->devicePixelRatio();
    return (origin + (QPointF(*native) - origin) / (ratio > 0 ? ratio : 1)).toPoint();
}
