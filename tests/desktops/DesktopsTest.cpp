// The real program on the desktops people run, each made of Debian's own
// pieces: X11 without any tray (openbox alone), a StatusNotifierItem tray on a
// D-Bus session (status-notifier-watcher and gtk-sni-tray-standalone), an
// XEmbed tray (trayer), and headless Wayland compositors with and without
// Xwayland (weston; mutter, GNOME's, where it runs). Every helper ends with the
// test; nothing waits a fixed time for something that is expected to happen.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>

#include "support/X11Desktop.h"

namespace {

using x11::Program;
using x11::ProgramWindows;
using x11::Tool;
using x11::Xdo;

constexpr QRgb kSkinNavy = 0x2E3192;
constexpr QRgb kKeyColour = 0x00FF00;

bool Have(const char* program) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

QPoint Centre(const x11::XWindow& w, QPoint at) {
    return w.rect.topLeft() + at;
}

bool Viewable(const std::optional<x11::XWindow>& w) {
    return w && w->viewable;
}

// The ICCCM state the window manager gave the window ("Iconic" when minimised).
QString WmState(std::uint32_t id) {
    return Tool(QStringLiteral("xprop"), {"-id", QString::number(id), "WM_STATE"}).out;
}

// An X desktop on the test's display, without a tray unless asked.
class OnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x11::HaveDisplay()) {
            GTEST_SKIP() << "TARVIK_TEST_DISPLAY is not set";
        }
    }
    void Open(bool trayer) {
        desktop_ =
            std::make_unique<x11::Desktop>(x11::Desktop::Parts{.trayHost = trayer, .agent = true});
        ASSERT_TRUE(desktop_->WindowManagerReady());
        desktop_->Write(0x378, 0x00);
    }
    bool BothViewable() {
        const ProgramWindows w = program_.Windows();
        return Viewable(w.main) && Viewable(w.setup);
    }
    bool BothGone() {
        const ProgramWindows w = program_.Windows();
        return w.main && !Viewable(w.main) && !Viewable(w.setup);
    }
    void ClickMain(QPoint at) { x11::Click(Centre(*program_.Windows().main, at)); }
    void Activate() {
        const QString id = QString::number(program_.Windows().main->id);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                Xdo({"windowactivate", "--sync", id});
                return Xdo({"getactivewindow"}).out == id;
            },
            5000));
    }
    int Port() { return desktop_->Read(0x378); }
    // No session bus: the program must not find (or start) a desktop's D-Bus tray.
    static QProcessEnvironment WithoutBus() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   "unix:path=" + QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath("none"));
        return env;
    }

    std::unique_ptr<x11::Desktop> desktop_;
    Program program_;
};

const QPoint kHideButton(447 + 8, 5 + 8);

}  // namespace

// Without a notification area "_" and Alt+F4 minimise both windows, which stay
// in reach of a task bar; a restore or a second start brings both back. The
// program says why once, on standard error. F5 flips pin 5 meanwhile.
TEST_F(OnX11, NoTrayMinimisesBothWindowsAndASecondStartBringsThemBack) {
    Open(false);
    ASSERT_TRUE(program_.StartIn(WithoutBus()));
    ASSERT_TRUE(program_.WaitForWindows());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return program_.Errors().contains(QStringLiteral("no notification area")); }, 10000))
        << program_.Errors().toStdString();

    Activate();
    Xdo({"key", "F5"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return Port() == 0x08; }, 10000)) << "F5 flips pin 5";

    ClickMain(kHideButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return BothGone(); }, 10000));
    EXPECT_TRUE(WmState(program_.Windows().main->id).contains(QStringLiteral("Iconic")));
    ASSERT_EQ(program_.RunAnotherCopy(15000, WithoutBus()), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return BothViewable(); }, 10000));

    Activate();
    Xdo({"key", "alt+F4"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return BothGone(); }, 10000));
    EXPECT_TRUE(program_.Running()) << "a close request minimises, it does not end";
    // A task bar's click on the entry: the window manager restores it.
    Xdo({"windowactivate", QString::number(program_.Windows().main->id)});
    EXPECT_TRUE(QTest::qWaitFor([&] { return BothViewable(); }, 10000)) << "both come back";
}

// With an XEmbed tray a window hidden with "_" comes back with a second start;
// one minimised by the window manager takes the setup window along, and one
// click of the icon brings both back.
TEST_F(OnX11, XEmbedTrayBringsBackWhatEverHidTheWindows) {
    Open(true);
    program_.WriteIni("[Misc]\nMouseButton=0\n");
    ASSERT_TRUE(program_.StartIn(WithoutBus()));
    ASSERT_TRUE(program_.WaitForWindows(true));

    ClickMain(kHideButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return BothGone(); }, 10000));
    EXPECT_TRUE(Viewable(program_.Windows().icon));
    ASSERT_EQ(program_.RunAnotherCopy(15000, WithoutBus()), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return BothViewable(); }, 10000)) << "hidden, then back";

    Xdo({"windowminimize", QString::number(program_.Windows().main->id)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return BothGone(); }, 10000)) << "both go";
    x11::Click(Centre(*program_.Windows().icon, QPoint(11, 11)), 3);
    EXPECT_TRUE(QTest::qWaitFor([&] { return BothViewable(); }, 10000)) << "one click";
}

namespace {

// A session bus of our own, in the private runtime folder; empty when it
// did not come up.
QString StartBus(std::unique_ptr<QProcess>& bus, const QString& name) {
    const QString path = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(name);
    bus = x11::StartHelper(QStringLiteral("dbus-daemon"),
                           {"--session", "--nofork", "--address=unix:path=" + path});
    if (!bus || !QTest::qWaitFor([&] { return QFile::exists(path); }, 10000)) {
        return {};
    }
    return "unix:path=" + path;
}

// A D-Bus session of our own with a StatusNotifierItem watcher and a tray bar
// that shows the items (GTK, on the test's X display).
class SniTray {
public:
    SniTray() {
        address_ = StartBus(bus_, QStringLiteral("tray-bus"));
        if (address_.isEmpty()) {
            return;
        }
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
        watcher_ = x11::StartHelper(QStringLiteral("status-notifier-watcher"), {}, env_);
        const QStringList owned = {"--dest",
                                   "org.freedesktop.DBus",
                                   "--object-path",
                                   "/org/freedesktop/DBus",
                                   "--method",
                                   "org.freedesktop.DBus.NameHasOwner",
                                   "org.kde.StatusNotifierWatcher"};
        if (!QTest::qWaitFor([&] { return Call(owned).out == QLatin1String("(true,)"); }, 10000)) {
            return;
        }
        bar_ = x11::StartHelper(QStringLiteral("gtk-sni-tray-standalone"),
                                {"--top", "--end", "--size", "32"}, env_);
        ready_ = bar_ && QTest::qWaitFor([&] { return Bar().has_value(); }, 15000);
    }
    ~SniTray() {
        x11::StopHelper(bar_);
        x11::StopHelper(watcher_);
        x11::StopHelper(bus_);
    }
    bool Ready() const { return ready_; }
    const QProcessEnvironment& Env() const { return env_; }

    x11::Run Call(QStringList args) const {
        QProcess p;
        p.setProcessEnvironment(env_);
        p.start(QStringLiteral("gdbus"), QStringList{"call", "--session"} + args);
        if (!p.waitForFinished(10000)) {
            p.kill();
            p.waitForFinished(1000);
            return {};
        }
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()).trimmed()};
    }
    // The bus name of the one registered item, once there is one.
    QString Item() const {
        const QString items =
            Call({"--dest", "org.kde.StatusNotifierWatcher", "--object-path",
                  "/StatusNotifierWatcher", "--method", "org.freedesktop.DBus.Properties.Get",
                  "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems"})
                .out;
        const auto m = QRegularExpression(QStringLiteral("'(:[0-9.]+)")).match(items);
        return m.hasMatch() ? m.captured(1) : QString();
    }
    // The bar's window and, after a right click, the menu it opened.
    std::optional<x11::XWindow> Bar() const { return Window(true); }
    std::optional<x11::XWindow> Menu() const { return Window(false); }

private:
    std::optional<x11::XWindow> Window(bool bar) const {
        if (!bar_) {
            return std::nullopt;
        }
        const QString found =
            Xdo({"search", "--onlyvisible", "--pid", QString::number(bar_->processId())}).out;
        for (const QString& line : found.split(u'\n', Qt::SkipEmptyParts)) {
            const auto w = x11::Query(line.toUInt());
            // (GTK keeps a tiny helper window of its own on the screen too.)
            if (w && w->viewable && w->rect.width() > 20 && (w->rect.height() == 32) == bar) {
                return w;
            }
        }
        return std::nullopt;
    }

    std::unique_ptr<QProcess> bus_, watcher_, bar_;
    QString address_;
    QProcessEnvironment env_;
    bool ready_ = false;
};

}  // namespace

// A StatusNotifierItem host asks the item for its menu: the Russian items show
// and act, a left click flips the tray pin, the icon comes in sharp sizes, and
// "Выход" ends the program with its settings saved.
TEST_F(OnX11, StatusNotifierTrayOffersARussianMenuAndTakesClicks) {
    for (const char* tool : {"dbus-daemon", "status-notifier-watcher", "gtk-sni-tray-standalone"}) {
        if (!Have(tool)) {
            GTEST_SKIP() << tool << " is not installed";
        }
    }
    Open(false);
    SniTray tray;
    ASSERT_TRUE(tray.Ready());
    program_.WriteIni("[TrayIcon]\nTrayPin=3\n");
    ASSERT_TRUE(program_.StartIn(tray.Env()));
    ASSERT_TRUE(program_.WaitForWindows());
    QString item;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !(item = tray.Item()).isEmpty(); }, 10000));

    auto property = [&](const char* name) {
        return tray
            .Call({"--dest", item, "--object-path", "/StatusNotifierItem", "--method",
                   "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", name})
            .out;
    };
    EXPECT_TRUE(property("IconPixmap").contains(QStringLiteral("(48, 48, [")));
    const QString menuPath =
        QRegularExpression(QStringLiteral("'(/[^']*)'")).match(property("Menu")).captured(1);
    ASSERT_FALSE(menuPath.isEmpty());
    const QString layout =
        tray.Call({"--dest", item, "--object-path", menuPath, "--method",
                   "com.canonical.dbusmenu.GetLayout", "--", "0", "-1", "['label']"})
            .out;
    for (const char* label : {"Скрыть окно", "Переключить Pin3", "Выход"}) {
        EXPECT_TRUE(layout.contains(QString::fromUtf8(label))) << label << layout.toStdString();
    }
    EXPECT_FALSE(program_.Errors().contains(QStringLiteral("no notification area")));

    // The icon stands at the bar's right end.
    const QRect bar = tray.Bar()->rect;
    const QPoint icon(bar.right() - 16, bar.top() + 16);
    x11::Click(icon, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Port() == 0x02; }, 10000)) << "pin 3 flipped";

    // The first item of the host's menu shows or hides both windows.
    auto chooseFirstItem = [&] {
        x11::Click(icon, 3);
        std::optional<x11::XWindow> menu;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (menu = tray.Menu()).has_value(); }, 10000));
        x11::Click(menu->rect.topLeft() + QPoint(40, 16));
    };
    chooseFirstItem();
    ASSERT_TRUE(QTest::qWaitFor([&] { return BothGone(); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !tray.Menu(); }, 10000));
    chooseFirstItem();
    ASSERT_TRUE(QTest::qWaitFor([&] { return BothViewable(); }, 10000));

    const auto exitId =
        QRegularExpression(QStringLiteral("\\((\\d+), \\{[^}]*'Выход'")).match(layout).captured(1);
    ASSERT_FALSE(exitId.isEmpty());
    tray.Call({"--dest", item, "--object-path", menuPath, "--method",
               "com.canonical.dbusmenu.Event", "--", exitId, "clicked", "<0>", "0"});
    ASSERT_TRUE(program_.WaitForExit(10000));
    EXPECT_EQ(program_.Process()->exitCode(), 0);
    EXPECT_EQ(QSettings(program_.Ini(), QSettings::IniFormat).value("TrayIcon/TrayPin"), "3");
}

namespace {

// A headless Wayland compositor in the test's private runtime folder, and what
// it offers a program: its Wayland socket and, with Xwayland, an X display.
class Compositor {
public:
    enum Kind { Weston, Mutter };
    Compositor(Kind kind, bool xwayland) : kind_(kind) {
        socket_ = QStringLiteral("tarvik-wl-%1").arg(QCoreApplication::applicationPid());
        runtime_ = qEnvironmentVariable("XDG_RUNTIME_DIR");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        if (kind == Weston) {
            QStringList args = {"--backend=headless-backend.so",
                                "--use-pixman",
                                "--debug",
                                "--width=1024",
                                "--height=768",
                                "--socket=" + socket_};
            if (xwayland) {
                args << "--xwayland";
            }
            process_ = x11::StartHelper(QStringLiteral("weston"), args, env, true);
        } else {
            // GNOME's compositor wants a session bus; it gets one of its own.
            const QString address = StartBus(bus_, QStringLiteral("mutter-bus"));
            if (address.isEmpty()) {
                return;
            }
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
            QStringList args = {"--headless",
                                "--wayland",
                                "--virtual-monitor",
                                "1024x768",
                                "--wayland-display=" + socket_,
                                "--sm-disable"};
            if (!xwayland) {
                args << "--no-x11";
            }
            process_ = x11::StartHelper(QStringLiteral("mutter"), args, env, true);
        }
        if (!process_) {
            return;
        }
        ready_ = QTest::qWaitFor(
            [&] {
                log_ += QString::fromLocal8Bit(process_->readAllStandardError());
                if (!QFile::exists(QDir(runtime_).filePath(socket_))) {
                    return false;
                }
                // Each announces its X display in its log.
                const auto m = QRegularExpression(
                                   kind_ == Weston ? QStringLiteral("listening on display (:\\d+)")
                                                   : QStringLiteral("public X11 display (:\\d+)"))
                                   .match(log_);
                display_ = m.captured(1);
                return !xwayland || m.hasMatch();
            },
            20000);
    }
    ~Compositor() {
        x11::StopHelper(process_);
        x11::StopHelper(bus_);
    }
    bool Ready() const { return ready_; }
    QString Log() const { return log_; }

    // What a program started on this desktop sees: the user chose no platform.
    QProcessEnvironment ProgramEnv() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   "unix:path=" + QDir(runtime_).filePath("none"));
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), socket_);
        env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        if (display_.isEmpty()) {
            env.remove(QStringLiteral("DISPLAY"));
        } else {
            env.insert(QStringLiteral("DISPLAY"), display_);
            const QStringList auth =
                QDir(runtime_).entryList({".mutter-Xwaylandauth.*"}, QDir::Files | QDir::Hidden);
            if (!auth.isEmpty()) {
                env.insert(QStringLiteral("XAUTHORITY"), QDir(runtime_).filePath(auth.first()));
            }
        }
        return env;
    }

    // The program's X windows on the compositor's Xwayland, as the X server and
    // the window manager have them.
    struct XWin {
        QRect rect;
        bool viewable = false;
        QString state;  // _NET_WM_STATE
    };
    QList<XWin> XWindowsOf(qint64 pid) const {
        const QProcessEnvironment env = ProgramEnv();
        auto run = [&](const QString& tool, const QStringList& args) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.start(tool, args);
            if (!p.waitForFinished(10000)) {
                p.kill();
                p.waitForFinished(1000);
            }
            return QString::fromLocal8Bit(p.readAllStandardOutput());
        };
        QList<XWin> out;
        for (const QString& id : run("xdotool", {"search", "--pid", QString::number(pid)})
                                     .split(u'\n', Qt::SkipEmptyParts)) {
            const QString info = run("xwininfo", {"-id", id});
            const auto m = QRegularExpression(QStringLiteral("X:\\s+(-?\\d+).*Y:\\s+(-?\\d+).*"
                                                             "Width: (\\d+).*Height: (\\d+)"),
                                              QRegularExpression::DotMatchesEverythingOption)
                               .match(info);
            if (m.hasMatch()) {
                out.append({QRect(m.captured(1).toInt(), m.captured(2).toInt(),
                                  m.captured(3).toInt(), m.captured(4).toInt()),
                            info.contains(QStringLiteral("IsViewable")),
                            run("xprop", {"-id", id, "_NET_WM_STATE"})});
            }
        }
        return out;
    }

    // The compositor's screen (weston only); null when none could be taken.
    QImage Screenshot() const {
        QTemporaryDir dir;
        QProcess shooter;
        QProcessEnvironment env = ProgramEnv();
        shooter.setProcessEnvironment(env);
        shooter.setWorkingDirectory(dir.path());
        shooter.start(QStringLiteral("weston-screenshooter"), {});
        // It waits for the compositor's next frame; a compositor that makes
        // none would keep it forever.
        if (!shooter.waitForFinished(10000)) {
            shooter.kill();
            shooter.waitForFinished(1000);
            return {};
        }
        const QStringList files = QDir(dir.path()).entryList({"*.png"});
        return files.isEmpty() ? QImage() : QImage(dir.filePath(files.first()));
    }

private:
    Kind kind_;
    QString socket_, runtime_, display_, log_;
    std::unique_ptr<QProcess> process_, bus_;
    bool ready_ = false;
};

int Count(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            n += (image.pixel(x, y) & 0xFFFFFF) == colour;
        }
    }
    return n;
}

class OnWayland : public ::testing::TestWithParam<std::tuple<Compositor::Kind, bool>> {
protected:
    void SetUp() override {
        const auto [kind, xwayland] = GetParam();
        if (!Have(kind == Compositor::Weston ? "weston" : "mutter") ||
            (xwayland && !Have("Xwayland"))) {
            GTEST_SKIP() << "compositor not installed";
        }
        // A private runtime folder and agent; no X display of the test's is used.
        desktop_ = std::make_unique<x11::Desktop>(x11::Desktop::Parts{});
        ASSERT_TRUE(desktop_->StartAgent());
    }
    std::unique_ptr<x11::Desktop> desktop_;
    Program program_;
};

}  // namespace

// Through Xwayland where there is one (X11's shapes, positions and stacking),
// on Wayland itself where there isn't, saying what differs; either way the
// skin's key colour never shows and a second start finds the first copy.
TEST_P(OnWayland, RunsWithoutTheKeyColourAndASecondStartFindsTheFirst) {
    const auto [kind, xwayland] = GetParam();
    Compositor compositor(kind, xwayland);
    ASSERT_TRUE(compositor.Ready()) << compositor.Log().toStdString();
    ASSERT_TRUE(program_.StartIn(compositor.ProgramEnv()));
    const qint64 pid = program_.Process()->processId();

    if (xwayland) {
        // Both windows as X11 windows on the compositor's Xwayland.
        std::optional<Compositor::XWin> main, setup;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                main.reset();
                setup.reset();
                for (const Compositor::XWin& w : compositor.XWindowsOf(pid)) {
                    if (w.viewable && w.rect.size() == QSize(495, 135)) {
                        main = w;
                    } else if (w.viewable && w.rect.width() == 330) {
                        setup = w;
                    }
                }
                return main && setup;
            },
            20000))
            << program_.Errors().toStdString();
        EXPECT_FALSE(program_.Errors().contains(QStringLiteral("Wayland without X11")));
        if (kind == Compositor::Mutter) {
            // GNOME's window manager keeps the panel docked and the main window on top.
            EXPECT_EQ(setup->rect.topLeft(), main->rect.topLeft() + QPoint(89, 14));
            EXPECT_TRUE(QTest::qWaitFor(
                [&] {
                    for (const Compositor::XWin& w : compositor.XWindowsOf(pid)) {
                        if (w.rect.size() == QSize(495, 135)) {
                            return w.state.contains(QStringLiteral("_NET_WM_STATE_ABOVE"));
                        }
                    }
                    return false;
                },
                10000));
        }
    } else {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return program_.Errors().contains(QStringLiteral("Wayland without X11")); },
            20000))
            << program_.Errors().toStdString();
    }
    EXPECT_FALSE(program_.Errors().contains(QStringLiteral("No such signal")))
        << program_.Errors().toStdString();

    if (kind == Compositor::Weston) {
        // On the screen: the navy body, and not one pixel of the key colour.
        QImage shot;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                shot = compositor.Screenshot();
                return !shot.isNull() && Count(shot, kSkinNavy) > 5000;
            },
            20000));
        EXPECT_EQ(Count(shot, kKeyColour), 0);
        if (const QString dir = qEnvironmentVariable("TARVIK_SCREENSHOT_DIR"); !dir.isEmpty()) {
            shot.save(QDir(dir).filePath(xwayland ? "weston-xwayland.png" : "weston.png"));
        }
    }

    EXPECT_EQ(program_.RunAnotherCopy(15000, compositor.ProgramEnv()), 0);
    EXPECT_TRUE(program_.Running());
}

INSTANTIATE_TEST_SUITE_P(
    Compositors, OnWayland,
    ::testing::Combine(::testing::Values(Compositor::Weston, Compositor::Mutter),
                       ::testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param) == Compositor::Weston ? "Weston" : "Mutter") +
               (std::get<1>(info.param) ? "WithXwayland" : "WaylandOnly");
    });
