// The real program on a real X server with openbox: with a fresh settings file the
// setup button can be clicked and the panel slides open; settings changed with the
// mouse survive closing and starting the program again.
// TARVIK_SCREENSHOT_DIR, when set, receives setup-closed.png and setup-open.png.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <memory>

namespace {

QString Display() {
    return qEnvironmentVariable("TARVIK_TEST_DISPLAY");
}

class X11Session {
public:
    X11Session() {
        runtime_ = dir_.filePath(QStringLiteral("run"));
        QDir().mkpath(runtime_);
        QFile::setPermissions(runtime_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // A copy, not a link: the program keeps its settings beside its real file.
        exe_ = dir_.filePath(QStringLiteral("tarvik"));
        QFile::copy(QStringLiteral(TARVIK_EXE), exe_);
        QFile::setPermissions(exe_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        wm_ = Start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        QThread::msleep(800);
    }
    ~X11Session() {
        Stop(program_);
        Stop(wm_);
    }

    QString Ini() const { return dir_.filePath(QStringLiteral("TARVIK.INI")); }
    QString Trace() const { return dir_.filePath(QStringLiteral("trace")); }

    // Starts a private simulated port agent, then the program.
    bool StartProgram() {
        QProcess agent;
        agent.setProcessEnvironment(Environment());
        agent.start(QStringLiteral(AGENT_EXE),
                    {QStringLiteral("serve"), QStringLiteral("--backend"), QStringLiteral("sim"),
                     QStringLiteral("--loopback"), QStringLiteral("--trace"), Trace(),
                     QStringLiteral("--exit-when-idle"), QStringLiteral("--detach")});
        if (!agent.waitForFinished(10000) || agent.exitCode() != 0) {
            return false;
        }
        program_ = Start(exe_, {});
        return program_ != nullptr;
    }

    // Waits for the program to end by itself.
    bool WaitForExit(int ms) {
        if (!program_)
            return true;
        const bool ended = program_->waitForFinished(ms);
        if (ended)
            program_.reset();
        return ended;
    }

    QString Tool(const QStringList& args) const {
        QProcess p;
        p.setProcessEnvironment(Environment());
        p.start(QStringLiteral("xdotool"), args);
        p.waitForFinished(10000);
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }

    // The geometry of the program's visible window whose title matches the pattern.
    QRect Window(const QString& pattern) const {
        const QString ids = Tool({QStringLiteral("search"), QStringLiteral("--all"),
                                  QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                  QString::number(program_ ? program_->processId() : 0),
                                  QStringLiteral("--name"), pattern});
        if (ids.isEmpty())
            return {};
        const QString id = ids.split(u'\n').first();
        int x = 0, y = 0, w = 0, h = 0;
        for (const QString& line :
             Tool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id})
                 .split(u'\n')) {
            const auto kv = line.split(u'=');
            if (kv.size() != 2)
                continue;
            const int v = kv[1].toInt();
            if (kv[0] == u"X")
                x = v;
            if (kv[0] == u"Y")
                y = v;
            if (kv[0] == u"WIDTH")
                w = v;
            if (kv[0] == u"HEIGHT")
                h = v;
        }
        return QRect(x, y, w, h);
    }

    void Click(QPoint p) const {
        Tool({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
              QStringLiteral("click"), QStringLiteral("1")});
        QThread::msleep(200);
    }

    bool WaitFor(const std::function<bool()>& done, int ms) const {
        for (int waited = 0; waited < ms; waited += 100) {
            if (done())
                return true;
            QThread::msleep(100);
        }
        return done();
    }

    void Screenshot(const QString& name, const QRect& area) const {
        const QString folder = qEnvironmentVariable("TARVIK_SCREENSHOT_DIR", dir_.path());
        QProcess p;
        p.setProcessEnvironment(Environment());
        p.start(QStringLiteral("import"),
                {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"),
                 QStringLiteral("%1x%2+%3+%4")
                     .arg(area.width())
                     .arg(area.height())
                     .arg(area.x())
                     .arg(area.y()),
                 QStringLiteral("+repage"), folder + u'/' + name});
        p.waitForFinished(20000);
    }

private:
    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), Display());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        return env;
    }

    std::unique_ptr<QProcess> Start(const QString& program, const QStringList& args) const {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(Environment());
        p->setStandardOutputFile(QProcess::nullDevice());
        p->setStandardErrorFile(QProcess::nullDevice());
        p->start(program, args);
        return p->waitForStarted(5000) ? std::move(p) : nullptr;
    }

    static void Stop(std::unique_ptr<QProcess>& p) {
        if (!p)
            return;
        p->terminate();
        if (!p->waitForFinished(3000)) {
            p->kill();
            p->waitForFinished(3000);
        }
        p.reset();
    }

    QTemporaryDir dir_;
    QString runtime_, exe_;
    std::unique_ptr<QProcess> wm_, program_;
};

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Waits until both windows show; returns the main window's and the panel's places.
bool WaitForWindows(X11Session& x, QRect& main, QRect& setup) {
    return x.WaitFor(
        [&] {
            main = x.Window(QStringLiteral("^Tarvik$"));
            setup = x.Window(QStringLiteral("^Setup"));
            return main.width() == 495 && setup.width() == 330;
        },
        15000);
}

TEST(SetupOnX11, TheButtonOpensTheFreshPanelAndSettingsSurviveARestart) {
    if (Display().isEmpty()) {
        GTEST_SKIP() << "TARVIK_TEST_DISPLAY is not set";
    }
    X11Session x;
    ASSERT_FALSE(QFile::exists(x.Ini()));
    ASSERT_TRUE(x.StartProgram());
    QRect main, setup;
    ASSERT_TRUE(WaitForWindows(x, main, setup));
    QThread::msleep(1500);  // the start-up's own pause, and the first paint
    // The window manager may still have placed the windows after they first showed.
    main = x.Window(QStringLiteral("^Tarvik$"));
    setup = x.Window(QStringLiteral("^Setup"));
    EXPECT_EQ(setup.top(), main.top() + 14);  // closed, at the default boundary
    EXPECT_EQ(setup.left(), main.left() + 89);
    EXPECT_EQ(setup.height(), 80);
    x.Screenshot(QStringLiteral("setup-closed.png"), main);

    // btnSetup at panel (286, 5) + 8: above the main window's body.
    x.Click(setup.topLeft() + QPoint(294, 13));
    EXPECT_TRUE(x.WaitFor(
        [&] {
            main = x.Window(QStringLiteral("^Tarvik$"));
            setup = x.Window(QStringLiteral("^Setup"));
            return setup.top() == main.top() - 231 && setup.height() == 303;
        },
        15000))
        << "panel at " << setup.top() - main.top() << ", height " << setup.height();
    QThread::msleep(500);
    x.Screenshot(QStringLiteral("setup-open.png"), main.united(setup));

    // Change settings with the mouse: hints on (grpMisc 17, 93 + chkHintVisible 8, 31),
    // the tray shows pin 5, pin 4 switches downward.
    x.Click(setup.topLeft() + QPoint(17 + 8 + 7, 93 + 31 + 8));
    x.Click(main.topLeft() + QPoint(10 + 60 * 3 + 8, 54));
    x.Click(main.topLeft() + QPoint(10 + 60 * 2 + 39 + 8, 54));

    x.Click(main.topLeft() + QPoint(479, 13));  // btnClose
    ASSERT_TRUE(x.WaitForExit(10000));
    const QByteArray first = ReadFile(x.Ini());
    EXPECT_TRUE(first.contains("[Misc]\r\n")) << first.constData();
    EXPECT_TRUE(first.contains("HintVisible=1\r\n")) << first.constData();
    EXPECT_TRUE(first.contains("TrayPin=5\r\n")) << first.constData();
    EXPECT_TRUE(first.contains("DirectPin4=0\r\n")) << first.constData();
    EXPECT_TRUE(first.contains("WinTop=-14\r\n")) << first.constData();

    // Started again, the program comes up with the saved values and saves them unchanged.
    ASSERT_TRUE(x.StartProgram());
    ASSERT_TRUE(WaitForWindows(x, main, setup));
    QThread::msleep(1500);
    setup = x.Window(QStringLiteral("^Setup"));
    EXPECT_EQ(setup.top(), main.top() + 14);
    x.Click(main.topLeft() + QPoint(479, 13));
    ASSERT_TRUE(x.WaitForExit(10000));
    EXPECT_EQ(ReadFile(x.Ini()), first);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
