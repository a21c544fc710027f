#include "X11Session.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>

namespace x11 {
namespace {

const QString BinDir = QStringLiteral(TARVIK_BIN_DIR);

bool WaitFinished(QProcess& p, int ms) {
    return QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, ms);
}

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

std::unique_ptr<QProcess> Start(const QString& program, const QStringList& args) {
    auto p = std::make_unique<QProcess>();
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->setStandardOutputFile(QProcess::nullDevice());
    p->start(program, args);
    p->waitForStarted(5000);
    return p;
}

QString Num(int v) {
    return QString::number(v);
}

}  // namespace

QString Tool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(5000))
        return {};
    (void)WaitFinished(p, 10000);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(1000);
        return {};
    }
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

void MoveTo(QPoint p) {
    // No --sync: it waits forever when the pointer already stands there.
    Tool(QStringLiteral("xdotool"), {"mousemove", Num(p.x()), Num(p.y())});
    QTest::qWait(20);
}

void Click(QPoint p) {
    MoveTo(p);
    QTest::qWait(50);
    Tool(QStringLiteral("xdotool"), {"click", "1"});
    QTest::qWait(100);
}

void Drag(QPoint from, QPoint to) {
    MoveTo(from);
    QTest::qWait(50);
    Tool(QStringLiteral("xdotool"), {"mousedown", "1"});
    for (int i = 1; i <= 10; ++i) {
        QTest::qWait(30);
        MoveTo(from + (to - from) * i / 10);
    }
    QTest::qWait(50);
    Tool(QStringLiteral("xdotool"), {"mouseup", "1"});
    QTest::qWait(200);
}

QImage Grab(const QRect& area) {
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

Session::Session() {
    QFile::setPermissions(runtime_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
    // Another window manager may already run on this display; then openbox just exits.
    wm_ = Start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    StartAgent();
}

void Session::StartAgent() {
    const QString socket = runtime_.filePath(QStringLiteral("LptAccessAgent"));
    const QDateTime before = QFileInfo(socket).lastModified();
    agent_ = Start(BinDir + "/lptwdmio", {"serve", "--backend", "sim", "--loopback", "--trace",
                                          runtime_.filePath(QStringLiteral("lpt.trace"))});
    // A killed agent leaves its socket file behind; the new one replaces it.
    (void)QTest::qWaitFor(
        [&] { return QFile::exists(socket) && QFileInfo(socket).lastModified() != before; }, 5000);
    QTest::qWait(300);
}

void Session::KillAgent() {
    if (agent_) {
        agent_->kill();
        (void)WaitFinished(*agent_, 3000);
        agent_.reset();
    }
}

Session::~Session() {
    StopProgram();
    Stop(agent_);
    Stop(wm_);
}

bool Session::StartProgram(const QByteArray& ini) {
    const QString exe = app_.filePath(QStringLiteral("tarvik"));
    QFile::remove(exe);
    QFile::copy(BinDir + "/tarvik", exe);
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::remove(app_.filePath(QStringLiteral("TARVIK.INI")));
    if (!ini.isEmpty()) {
        QFile f(app_.filePath(QStringLiteral("TARVIK.INI")));
        f.open(QIODevice::WriteOnly);
        f.write(ini);
    }
    program_ = Start(exe, {});
    const QString pid = Num(static_cast<int>(program_->processId()));
    // The main window is the program's window named Tarvik of the skin's width.
    const bool found = QTest::qWaitFor(
        [&] {
            const QStringList ids =
                Tool(QStringLiteral("xdotool"),
                     {"search", "--onlyvisible", "--pid", pid, "--name", "^Tarvik$"})
                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            for (const QString& id : ids) {
                window_ = id;
                if (Geometry().width() == 495)
                    return true;
            }
            window_.clear();
            return false;
        },
        10000);
    QTest::qWait(500);  // the first pictures and the timers settle
    return found;
}

void Session::StopProgram() {
    Stop(program_);
    window_.clear();
}

QRect Session::Geometry() const {
    if (window_.isEmpty())
        return {};
    int x = 0, y = 0, w = 0, h = 0;
    const QString out = Tool(QStringLiteral("xdotool"), {"getwindowgeometry", "--shell", window_});
    for (const QString& line : out.split(QLatin1Char('\n'))) {
        const QString value = line.section(QLatin1Char('='), 1);
        if (line.startsWith("X="))
            x = value.toInt();
        if (line.startsWith("Y="))
            y = value.toInt();
        if (line.startsWith("WIDTH="))
            w = value.toInt();
        if (line.startsWith("HEIGHT="))
            h = value.toInt();
    }
    return {x, y, w, h};
}

QString Session::Agent() const {
    return BinDir + "/lptwdmio";
}

int Session::Read(std::uint16_t address) const {
    QString out = Tool(Agent(), {"read", QStringLiteral("0x%1").arg(address, 0, 16)}).trimmed();
    out.remove(QStringLiteral("0x"));
    bool ok = false;
    const int v = out.toInt(&ok, 16);
    return ok ? v : -1;
}

void Session::Write(std::uint16_t address, std::uint8_t value) const {
    Tool(Agent(), {"write", QStringLiteral("0x%1").arg(address, 0, 16),
                   QStringLiteral("0x%1").arg(value, 2, 16, QLatin1Char('0'))});
}

}  // namespace x11
