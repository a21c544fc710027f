// The components on a real X server (Xvfb) with Debian's tray host `trayer`
// and the openbox window manager: the tray icon shows its picture, reports
// clicks, comes back when the tray host restarts; minimise and Alt+F4 put the
// window away as the tray rules say; the skin drags the window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

#include "support/X11Desktop.h"
#include "widgets/NativeWindow.h"
#include "widgets/NotifyIcon.h"
#include "widgets/ShapedHint.h"
#include "widgets/WindowSkin.h"

namespace {

using x11::HaveDisplay;

// Runs a helper program while our event loop keeps serving X events.
QString Tool(const QString& program, const QStringList& args) {
    return x11::Tool(program, args).out;
}

QString Id(const QWidget* w) {
    return QString::number(w->winId());
}

// Whether the window is viewable and has a parent other than the root: a
// connection of our own, so that the answer does not depend on Qt.
bool ViewableInsideAnotherWindow(WId id) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    const auto window = static_cast<xcb_window_t>(id);
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const bool inside = tree && attributes && tree->parent != tree->root &&
                        attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(tree);
    std::free(attributes);
    xcb_disconnect(c);
    return inside;
}

// The window Qt docks into the tray host, once it sits inside the host. Qt
// makes a new one whenever the tray host announces itself, so it is looked up
// afresh rather than kept across the event loop.
QWidget* DockedTrayWidget() {
    for (QWidget* w : QApplication::allWidgets()) {
        if (w->inherits("QSystemTrayIconSys") && w->isVisible() &&
            w->testAttribute(Qt::WA_WState_Created) && ViewableInsideAnotherWindow(w->winId())) {
            return w;
        }
    }
    return nullptr;
}

QIcon Disc(QColor color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

class Owner : public QWidget {
public:
    int closes = 0;
    int hides = 0;
    int shows = 0;

protected:
    void closeEvent(QCloseEvent* e) override {
        ++closes;
        QWidget::closeEvent(e);
    }
    void hideEvent(QHideEvent*) override { ++hides; }
    void showEvent(QShowEvent*) override { ++shows; }
};

class X11Components : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (HaveDisplay()) {
            desktop_ = std::make_unique<x11::Desktop>(x11::Desktop::Parts{.trayHost = true});
        }
    }
    static void TearDownTestSuite() { desktop_.reset(); }
    void SetUp() override {
        if (!HaveDisplay()) {
            GTEST_SKIP() << "TARVIK_TEST_DISPLAY is not set";
        }
    }
    static bool StartTray() {
        return desktop_->StartTrayHost() &&
               QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000);
    }
    static void StopTray() { desktop_->StopTrayHost(); }
    // Restarting the tray host needs one that this test started.
    static bool OwnTray() { return desktop_->OwnTrayHost(); }

    static inline std::unique_ptr<x11::Desktop> desktop_;
};

// The colour in the middle of the docked icon; invalid while none is docked.
QColor DockedCentre() {
    QWidget* w = DockedTrayWidget();
    const QImage shot =
        w ? QGuiApplication::primaryScreen()->grabWindow(w->winId()).toImage() : QImage();
    return shot.isNull() ? QColor() : shot.pixelColor(shot.width() / 2, shot.height() / 2);
}

}  // namespace

TEST_F(X11Components, TrayIconShowsItsPictureAndReportsClicks) {
    ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
    Owner owner;
    NotifyIcon icon(&owner);
    icon.SetPictures({Disc(Qt::yellow), Disc(Qt::red), Disc(Qt::blue)});
    icon.SetPictureIndex(1);
    ASSERT_TRUE(QTest::qWaitFor([] { return DockedCentre() == QColor(Qt::red); }, 10000))
        << DockedCentre().name().toStdString();
    const QWidget* tray = DockedTrayWidget();
    ASSERT_NE(tray, nullptr);
    const QString docked = Id(tray);

    // The tray icon is a window of this program's class inside the tray host.
    const QString found =
        Tool(QStringLiteral("xdotool"), {"search", "--class", QCoreApplication::applicationName()});
    EXPECT_TRUE(found.split('\n').contains(docked)) << found.toStdString();

    QSignalSpy up(&icon, &NotifyIcon::MouseUp);
    const struct {
        const char* xButton;
        Qt::MouseButton button;
    } clicks[] = {{"1", Qt::LeftButton}, {"3", Qt::RightButton}, {"2", Qt::MiddleButton}};
    for (const auto& c : clicks) {
        const int before = up.count();
        Tool(QStringLiteral("xdotool"),
             {"mousemove", "--window", docked, "8", "8", "click", c.xButton});
        ASSERT_TRUE(QTest::qWaitFor([&] { return up.count() == before + 1; }, 5000)) << c.xButton;
        EXPECT_EQ(up.last()[0].value<Qt::MouseButton>(), c.button);
    }
    // The position is the pointer's place on the screen.
    const QString where = Tool(QStringLiteral("xdotool"), {"getmouselocation", "--shell"});
    const QPoint pos = up.last()[1].toPoint();
    EXPECT_TRUE(where.contains(QStringLiteral("X=%1\n").arg(pos.x()))) << where.toStdString();
    EXPECT_TRUE(where.contains(QStringLiteral("Y=%1\n").arg(pos.y()))) << where.toStdString();
    QTest::qWait(300);
    EXPECT_EQ(up.count(), 3);  // one report per click, not one per press and release
}

TEST_F(X11Components, TrayIconComesBackWhenTheTrayHostRestarts) {
    if (!OwnTray()) {
        GTEST_SKIP() << "another tray host runs on this display";
    }
    ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
    Owner owner;
    NotifyIcon icon(&owner);
    icon.SetPictures({Disc(Qt::yellow), Disc(Qt::red), Disc(Qt::green)});
    ASSERT_TRUE(QTest::qWaitFor([] { return DockedTrayWidget() != nullptr; }, 10000));

    StopTray();
    // The icon's window falls out of the dead host.
    ASSERT_TRUE(QTest::qWaitFor([] { return DockedTrayWidget() == nullptr; }, 10000));
    icon.SetPictureIndex(2);  // changed while there is no tray
    ASSERT_TRUE(StartTray());
    EXPECT_TRUE(QTest::qWaitFor([] { return DockedCentre() == QColor(Qt::green); }, 10000))
        << DockedCentre().name().toStdString();
}

TEST_F(X11Components, TrayIconIsAddedWhenTheTrayHostStartsLater) {
    if (!OwnTray()) {
        GTEST_SKIP() << "another tray host runs on this display";
    }
    StopTray();
    ASSERT_TRUE(QTest::qWaitFor([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, 5000));
    Owner owner;
    NotifyIcon icon(&owner);
    icon.SetPictures({Disc(Qt::yellow), Disc(Qt::red)});
    QTest::qWait(200);
    EXPECT_EQ(DockedTrayWidget(), nullptr);
    ASSERT_TRUE(StartTray());
    EXPECT_TRUE(QTest::qWaitFor([] { return DockedCentre() == QColor(Qt::yellow); }, 10000))
        << DockedCentre().name().toStdString();
}

TEST_F(X11Components, MinimiseWithdrawsTheWindowButItStillCountsAsShown) {
    Owner owner;
    owner.resize(200, 100);
    NotifyIcon icon(&owner);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    ASSERT_TRUE(NativeWindowMapped(&owner));
    owner.hides = owner.shows = 0;

    Tool(QStringLiteral("xdotool"), {"windowminimize", Id(&owner)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !NativeWindowMapped(&owner); }, 5000));
    QTest::qWait(500);  // let the window manager settle: it must stay off the screen
    EXPECT_FALSE(NativeWindowMapped(&owner));
    EXPECT_TRUE(owner.isVisible());
    EXPECT_FALSE(owner.isMinimized());
    EXPECT_EQ(owner.hides, 0);
    EXPECT_EQ(owner.shows, 0);

    // The program still thinks it is shown: hiding and showing brings it back.
    owner.hide();
    EXPECT_EQ(owner.hides, 1);
    owner.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return NativeWindowMapped(&owner); }, 5000));
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&owner));
    EXPECT_FALSE(owner.isMinimized());
}

TEST_F(X11Components, AltF4HidesTheWindowAndCloseFromTheProgramCloses) {
    Owner owner;
    owner.resize(200, 100);
    NotifyIcon icon(&owner);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    Tool(QStringLiteral("xdotool"), {"windowactivate", "--sync", Id(&owner)});
    ASSERT_TRUE(QTest::qWaitForWindowActive(&owner));

    Tool(QStringLiteral("xdotool"), {"key", "alt+F4"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !owner.isVisible(); }, 5000));
    EXPECT_EQ(owner.hides, 1);
    EXPECT_EQ(owner.closes, 0);

    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    EXPECT_TRUE(owner.close());
    EXPECT_EQ(owner.closes, 1);
}

TEST_F(X11Components, SkinDragsTheWindowByThePictureButNotByAControl) {
    QImage picture(120, 60, QImage::Format_RGB32);
    picture.fill(QColor(0, 0, 128));
    picture.setPixelColor(0, 59, QColor(255, 0, 255));
    QWidget window;
    WindowSkin skin(&window, picture);
    auto* control = new QWidget(&window);
    control->setGeometry(0, 0, 30, 30);
    window.move(300, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QSignalSpy begin(&skin, &WindowSkin::DragBegin);
    QSignalSpy end(&skin, &WindowSkin::DragEnd);
    int steps = 0;
    QObject::connect(&skin, &WindowSkin::Moving, [&](QRect&) { ++steps; });
    const QPoint start = window.pos();

    auto drag = [&](QPoint from) {
        const QPoint g = window.mapToGlobal(from);
        x11::Drag(g, g + QPoint(40, 20));
    };
    drag(QPoint(10, 10));  // on the control
    QTest::qWait(200);     // time for a drag that should not come
    EXPECT_EQ(begin.count(), 0);
    EXPECT_EQ(window.pos(), start);

    drag(QPoint(80, 40));  // on the bare picture
    EXPECT_TRUE(QTest::qWaitFor([&] { return end.count() == 1; }, 10000));
    EXPECT_EQ(begin.count(), 1);
    EXPECT_GE(steps, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.pos() == start + QPoint(40, 20); }, 3000))
        << window.pos().x() << "," << window.pos().y();
}

TEST_F(X11Components, HintBalloonShowsTheScreenAroundItsShape) {
    QWidget backdrop;
    backdrop.setWindowFlag(Qt::FramelessWindowHint);
    backdrop.setAutoFillBackground(true);
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0, 128, 128));
    backdrop.setPalette(palette);
    backdrop.setGeometry(100, 100, 600, 400);
    backdrop.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop));
    // The balloon shows the screen behind it: the backdrop must be on it first.
    ASSERT_TRUE(QTest::qWaitFor(
        [] {
            return QGuiApplication::primaryScreen()
                       ->grabWindow(0, 400, 300, 1, 1)
                       .toImage()
                       .pixelColor(0, 0) == QColor(0, 128, 128);
        },
        10000));

    ShapedHint hint;
    hint.SetHidePause(0);
    hint.SetStyle(hsNoseEllipse);
    hint.SetColor(QColor(0, 128, 0));
    hint.SetBorderColor(QColor(0, 255, 0));
    hint.SetFontColor(QColor(0, 255, 0));
    hint.ShowHint(QStringLiteral("Вывод 5 (D3)\r\nданные"), QPoint(400, 300));
    QWidget* balloon = hint.HintWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(balloon));
    const QRect box = balloon->geometry();
    EXPECT_EQ(box.bottomRight(), QPoint(399, 299));
    // Grabbed once the balloon has been painted, however long that takes.
    QImage shot;
    (void)QTest::qWaitFor(
        [&] {
            shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
            return shot.pixelColor(box.topLeft() + QPoint(box.width() / 2, 3)) == QColor(0, 128, 0);
        },
        10000);
    if (const QByteArray out = qgetenv("TARVIK_SHOT"); !out.isEmpty()) {
        shot.copy(box.adjusted(-20, -20, 20, 20))
            .scaled(box.size() * 3 + QSize(120, 120))
            .save(QString::fromLocal8Bit(out));
    }
    // Outside the ellipse the backdrop shows; inside, the hint's colour.
    EXPECT_EQ(shot.pixelColor(box.topLeft() + QPoint(1, 1)), QColor(0, 128, 128));
    EXPECT_EQ(shot.pixelColor(box.topLeft() + QPoint(box.width() / 2, 3)), QColor(0, 128, 0));
    // Taking no focus: the backdrop keeps being the active window, if it was.
    EXPECT_FALSE(balloon->isActiveWindow());
    hint.HideHint();
}
