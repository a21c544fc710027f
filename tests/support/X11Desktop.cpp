#include "support/X11Desktop.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QThread>
#include <csignal>
#include <cstdlib>

#include <sys/prctl.h>
#include <xcb/xcb.h>

namespace x11 {
namespace {

const QString ProgramExe = QStringLiteral(TARVIK_EXE);
constexpr char TraySelection[] = "_NET_SYSTEM_TRAY_S0";
const QString AgentExe = QStringLiteral(AGENT_EXE);

bool WaitFinished(QProcess& p, int ms) {
    return QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, ms);
}

std::unique_ptr<QProcess> Start(
    const QString& program, const QStringList& args,
    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
    bool keepErrors = false) {
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(keepErrors ? QProcess::SeparateChannels
                                        : QProcess::ForwardedErrorChannel);
    p->setStandardOutputFile(QProcess::nullDevice());
    // Ended with us even when this test dies: a window manager or tray host left
    // behind would take the next run's desktop.
    p->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    p->start(program, args);
    if (!p->waitForStarted(5000)) {
        qWarning("%s did not start: %s", qPrintable(program), qPrintable(p->errorString()));
        return nullptr;
    }
    return p;
}

// Ends a process of ours by its own id: politely first.
void Stop(std::unique_ptr<QProcess>& p) {
    if (p && p->state() != QProcess::NotRunning) {
        p->terminate();
        if (!WaitFinished(*p, 3000)) {
            p->kill();
            (void)WaitFinished(*p, 3000);
        }
    }
    p.reset();
}

struct FreeReply {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeReply>;

// One connection for the whole test process, apart from Qt's.
xcb_connection_t* Connection() {
    static xcb_connection_t* c = [] {
        xcb_connection_t* made = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(made)) {
            xcb_disconnect(made);
            return static_cast<xcb_connection_t*>(nullptr);
        }
        return made;
    }();
    return c;
}

xcb_atom_t Atom(const char* name) {
    xcb_connection_t* c = Connection();
    Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(qstrlen(name)), name), nullptr));
    return atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// Whether some client owns the named selection of screen 0 (a window manager
// owns WM_S0, a tray host the tray selection).
bool SelectionOwned(const char* name) {
    xcb_connection_t* c = Connection();
    if (!c) {
        return false;
    }
    const xcb_atom_t atom = Atom(name);
    if (atom == XCB_ATOM_NONE) {
        return false;
    }
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom), nullptr));
    return owner && owner->owner != XCB_NONE;
}

// Whether the window manager takes in a window mapped now. Owning WM_S0 is not
// enough: openbox leaves a map request that came during its start-up unhandled
// until some later event wakes it, so a tray host or a window started at once
// would stay off the screen. A property change on the root is such an event.
bool ManagesNewWindows() {
    xcb_connection_t* c = Connection();
    if (!c) {
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_window_t probe = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_map_window(c, probe);
    const xcb_atom_t nudge = Atom("_TARVIK_TEST_NUDGE");
    const bool managed = QTest::qWaitFor(
        [&] {
            const std::uint32_t any = 0;
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, nudge, XCB_ATOM_CARDINAL, 32, 1,
                                &any);
            Reply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(c, xcb_query_tree(c, probe), nullptr));
            return tree && tree->parent != tree->root;  // framed by the manager
        },
        10000);
    xcb_destroy_window(c, probe);
    xcb_delete_property(c, root, nudge);
    xcb_flush(c);
    return managed;
}

QString Hex(std::uint16_t address) {
    return QStringLiteral("0x%1").arg(address, 0, 16);
}

}  // namespace

std::unique_ptr<QProcess> StartHelper(const QString& program, const QStringList& args,
                                      const QProcessEnvironment& env, bool keepErrors) {
    return Start(program, args, env, keepErrors);
}

void StopHelper(std::unique_ptr<QProcess>& p) {
    Stop(p);
}

bool HaveDisplay() {
    return !qEnvironmentVariableIsEmpty("TARVIK_TEST_DISPLAY");
}

Run Tool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(5000)) {
        return {};
    }
    if (!WaitFinished(p, 10000)) {
        p.kill();
        p.waitForFinished(1000);
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed()};
}

Run Xdo(const QStringList& args) {
    return Tool(QStringLiteral("xdotool"), args);
}

namespace {

struct PointerState {
    QPoint at;
    bool buttonDown = false;
};

std::optional<PointerState> QueryPointer() {
    xcb_connection_t* c = Connection();
    if (!c) {
        return std::nullopt;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    Reply<xcb_query_pointer_reply_t> p(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, root), nullptr));
    if (!p) {
        return std::nullopt;
    }
    return PointerState{QPoint(p->root_x, p->root_y), (p->mask & XCB_BUTTON_MASK_1) != 0};
}

// Presses or releases the left button; returns once the server has done it.
void LeftButton(bool down) {
    Xdo({down ? "mousedown" : "mouseup", "1"});
    (void)QTest::qWaitFor(
        [down] {
            const auto p = QueryPointer();
            return p && p->buttonDown == down;
        },
        10000);
}

}  // namespace

QPoint Pointer() {
    const auto p = QueryPointer();
    return p ? p->at : QPoint();
}

void MoveTo(QPoint p) {
    // No --sync: it waits forever when the pointer already stands there. Once
    // the server has the pointer there, the windows get the motion before any
    // press or move that follows.
    Xdo({"mousemove", QString::number(p.x()), QString::number(p.y())});
    (void)QTest::qWaitFor([p] { return Pointer() == p; }, 10000);
}

void Click(QPoint p, int button) {
    MoveTo(p);
    Xdo({"click", QString::number(button)});
}

void Drag(QPoint from, QPoint to) {
    MoveTo(from);
    LeftButton(true);
    for (int i = 1; i <= 10; ++i) {
        MoveTo(from + (to - from) * i / 10);
    }
    LeftButton(false);
}

QImage Grab(const QRect& area) {
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

std::optional<XWindow> Query(std::uint32_t id) {
    xcb_connection_t* c = Connection();
    if (!c) {
        return std::nullopt;
    }
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr));
    Reply<xcb_get_window_attributes_reply_t> a(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr));
    if (!g || !a) {
        return std::nullopt;
    }
    Reply<xcb_translate_coordinates_reply_t> at(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, id, g->root, 0, 0), nullptr));
    if (!at) {
        return std::nullopt;
    }
    return XWindow{id, QRect(at->dst_x, at->dst_y, g->width, g->height),
                   a->map_state == XCB_MAP_STATE_VIEWABLE};
}

std::vector<std::uint32_t> StackingOrder() {
    std::vector<std::uint32_t> order;
    xcb_connection_t* c = Connection();
    if (!c) {
        return order;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    Reply<xcb_get_property_reply_t> list(xcb_get_property_reply(
        c,
        xcb_get_property(c, 0, root, Atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW, 0, 4096),
        nullptr));
    if (list && list->format == 32) {
        const auto* ids = static_cast<const std::uint32_t*>(xcb_get_property_value(list.get()));
        order.assign(ids, ids + xcb_get_property_value_length(list.get()) / 4);
    }
    return order;
}

CpuLoad::CpuLoad() {
    for (int i = 0; i < QThread::idealThreadCount(); ++i) {
        if (auto p = Start(QStringLiteral("sh"), {"-c", "while :; do :; done"})) {
            busy_.push_back(std::move(p));
        }
    }
}

CpuLoad::~CpuLoad() {
    for (auto& p : busy_) {
        p->kill();
        p->waitForFinished(3000);
    }
}

Desktop::Desktop(Parts parts) {
    hadRuntime_ = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    savedRuntime_ = qgetenv("XDG_RUNTIME_DIR");
    QFile::setPermissions(runtime_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
    if (!HaveDisplay()) {
        return;
    }
    // Another window manager may already run on this display; then openbox just exits.
    const QStringList openbox = {QStringLiteral("openbox"), QStringLiteral("--sm-disable")};
    wm_ = parts.slowWindowManager ? Start(QStringLiteral("nice"), QStringList{"-n", "19"} + openbox)
                                  : Start(openbox[0], openbox.mid(1));
    // After the X server has started or reset (Xvfb does when its last client
    // leaves), the first key switches the keyboard's source device; the window
    // manager then drops and re-takes its key bindings, and a shortcut sent at
    // that moment (Alt+F4) would reach the window instead. One harmless key
    // now, and the probe waits until the manager has dealt with it.
    wmReady_ = QTest::qWaitFor([] { return SelectionOwned("WM_S0"); }, 10000) &&
               Xdo({"key", "shift"}).code == 0 && ManagesNewWindows();
    if (parts.trayHost) {
        StartTrayHost();
    }
    if (parts.agent) {
        StartAgent();
    }
}

Desktop::~Desktop() {
    Stop(agent_);
    Stop(tray_);
    Stop(wm_);
    if (hadRuntime_) {
        qputenv("XDG_RUNTIME_DIR", savedRuntime_);
    } else {
        qunsetenv("XDG_RUNTIME_DIR");
    }
}

bool Desktop::StartTrayHost() {
    if (SelectionOwned(TraySelection)) {
        return true;  // another host serves the tray: trayer would not get it
    }
    tray_ = Start(QStringLiteral("trayer"),
                  {"--edge", "top", "--align", "right", "--SetDockType", "true", "--widthtype",
                   "request", "--height", "24", "--transparent", "false", "--tint", "0x000000"});
    return tray_ && QTest::qWaitFor([] { return SelectionOwned(TraySelection); }, 10000);
}

void Desktop::StopTrayHost() {
    if (tray_) {
        Stop(tray_);
        // The server frees the tray once it has seen the host's connection close.
        (void)QTest::qWaitFor([] { return !SelectionOwned(TraySelection); }, 10000);
    }
}

bool Desktop::OwnTrayHost() const {
    return tray_ && tray_->state() == QProcess::Running;
}

bool Desktop::StartAgent() {
    // In the foreground, as our child, so that it is ended by its own id.
    agent_ = Start(AgentExe, {"serve", "--backend", "sim", "--loopback", "--trace",
                              QDir(runtime_.path()).filePath(QStringLiteral("lpt.trace"))});
    return agent_ && QTest::qWaitFor([this] { return Read(0x378) >= 0; }, 10000);
}

void Desktop::KillAgent() {
    if (agent_) {
        agent_->kill();
        (void)WaitFinished(*agent_, 3000);
        agent_.reset();
    }
}

int Desktop::Read(std::uint16_t address) const {
    const Run run = Tool(AgentExe, {"read", Hex(address)});
    if (run.code != 0) {
        return -1;
    }
    bool ok = false;
    const int value = QString(run.out).remove(QStringLiteral("0x")).toInt(&ok, 16);
    return ok ? value : -1;
}

void Desktop::Write(std::uint16_t address, std::uint8_t value) const {
    Tool(AgentExe, {"write", Hex(address), QStringLiteral("0x%1").arg(value, 2, 16, QChar('0'))});
}

Program::Program() : exe_(folder_.filePath(QStringLiteral("tarvik"))) {
    // A copy, not a link: the program keeps its settings beside its real file.
    QFile::copy(ProgramExe, exe_);
    QFile::setPermissions(exe_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

Program::~Program() {
    Stop();
}

QString Program::Ini() const {
    return folder_.filePath(QStringLiteral("TARVIK.INI"));
}

void Program::WriteIni(const QByteArray& text) const {
    QFile::remove(Ini());
    if (!text.isEmpty()) {
        QFile f(Ini());
        if (f.open(QIODevice::WriteOnly)) {
            f.write(text);
        }
    }
}

QByteArray Program::ReadIni() const {
    QFile f(Ini());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool Program::Start() {
    // The X server may give the new copy's windows the ids the last copy's had,
    // and a window manager still busy with those would move and size the new
    // ones after them. So the old windows must be gone and dealt with first.
    if (lastPid_ != 0) {
        const QStringList search = {"search", "--pid", QString::number(lastPid_)};
        if (!QTest::qWaitFor([&] { return Xdo(search).out.isEmpty(); }, 10000) ||
            (SelectionOwned("WM_S0") && !ManagesNewWindows())) {
            return false;
        }
    }
    process_ = x11::Start(exe_, {});
    lastPid_ = process_ ? process_->processId() : 0;
    return process_ != nullptr;
}

bool Program::StartIn(const QProcessEnvironment& env) {
    errors_.clear();
    process_ = x11::Start(exe_, {}, env, true);
    lastPid_ = process_ ? process_->processId() : 0;
    return process_ != nullptr;
}

QString Program::Errors() const {
    if (!process_) {
        return {};
    }
    auto* p = const_cast<QProcess*>(process_.get());
    errors_ += QString::fromLocal8Bit(p->readAllStandardError());
    return errors_;
}

bool Program::WaitForWindows(bool icon, int ms) {
    return QTest::qWaitFor(
        [&] {
            const ProgramWindows w = Windows();
            return w.main && w.main->viewable && w.setup && w.setup->viewable &&
                   (!icon || (w.icon && w.icon->viewable));
        },
        ms);
}

ProgramWindows Program::Windows() const {
    ProgramWindows out;
    if (!Running()) {
        return out;
    }
    const Run found = Xdo({"search", "--pid", QString::number(process_->processId())});
    for (const QString& line : found.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const auto w = Query(line.toUInt());
        if (!w) {
            continue;
        }
        std::optional<XWindow>* slot = nullptr;
        if (w->rect.size() == QSize(495, 135)) {
            slot = &out.main;
        } else if (w->rect.width() == 330) {
            slot = &out.setup;
        } else if (w->rect.size() == QSize(22, 22)) {
            slot = &out.icon;
        }
        // Of two candidates the one on the screen counts.
        if (slot && (!*slot || w->viewable)) {
            *slot = w;
        } else if (!slot && w->viewable) {
            out.others.push_back(*w);
        }
    }
    return out;
}

QRect Program::Geometry() const {
    const ProgramWindows w = Windows();
    return w.main ? w.main->rect : QRect();
}

bool Program::Running() const {
    return process_ && process_->state() == QProcess::Running;
}

bool Program::WaitForExit(int ms) {
    return !process_ || WaitFinished(*process_, ms);
}

void Program::Stop() {
    x11::Stop(process_);
}

int Program::RunAnotherCopy(int ms) {
    return RunAnotherCopy(ms, QProcessEnvironment::systemEnvironment());
}

int Program::RunAnotherCopy(int ms, const QProcessEnvironment& env) {
    QProcess copy;
    copy.setProcessEnvironment(env);
    copy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    copy.setStandardOutputFile(QProcess::nullDevice());
    copy.start(exe_, {});
    if (!copy.waitForStarted(5000)) {
        return -1;
    }
    if (!WaitFinished(copy, ms)) {
        copy.kill();
        copy.waitForFinished(3000);
        return -1;
    }
    return copy.exitStatus() == QProcess::NormalExit ? copy.exitCode() : -1;
}

}  // namespace x11
