// The real program on a real X server: openbox as window manager, trayer as the
// tray host and a private simulated port agent. The icon's picture, clicks on
// it, Alt+F4, btnClose, a tray host restart and dragging the main window.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <cstdlib>
#include <memory>
#include <optional>

#include "art/Art.h"
#include "support/X11Desktop.h"

namespace {

using x11::ProgramWindows;
using x11::Xdo;
using x11::XWindow;

// Which tray picture the icon shows: the one matching most of the grabbed
// pixels where the picture is opaque (the icon is centred in its window).
int ShownPicture(const XWindow& icon) {
    const QImage shot =
        QGuiApplication::primaryScreen()->grabWindow(icon.id).toImage().convertToFormat(
            QImage::Format_ARGB32);
    if (shot.isNull()) {
        return -1;
    }
    int best = -1;
    double bestScore = 0.9;
    // The host's icon size picks the picture drawn for it (trayer: 22 pixels).
    const int size = art::LargeTraySizes().contains(shot.width()) ? shot.width() : 16;
    for (int i = 2; i < art::TrayPictureCount(); ++i) {
        const QImage picture = art::TrayPicture(i, size).convertToFormat(QImage::Format_ARGB32);
        const QPoint origin((shot.width() - picture.width()) / 2,
                            (shot.height() - picture.height()) / 2);
        int opaque = 0, same = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const QColor want = picture.pixelColor(x, y);
                if (want.alpha() < 255) {
                    continue;
                }
                ++opaque;
                const QColor got = shot.pixelColor(origin + QPoint(x, y));
                same += std::abs(got.red() - want.red()) + std::abs(got.green() - want.green()) +
                            std::abs(got.blue() - want.blue()) <
                        30;
            }
        }
        const double score = opaque ? double(same) / opaque : 0;
        if (score > bestScore) {
            bestScore = score;
            best = i;
        }
    }
    return best;
}

class TrayX11 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (x11::HaveDisplay()) {
            desktop_ = std::make_unique<x11::Desktop>(
                x11::Desktop::Parts{.trayHost = true, .agent = true});
        }
    }
    static void TearDownTestSuite() { desktop_.reset(); }

    void SetUp() override {
        if (!x11::HaveDisplay()) {
            GTEST_SKIP() << "TARVIK_TEST_DISPLAY is not set";
        }
        Port(0x00);
    }
    void TearDown() override { program_.Stop(); }

    // Starts the program from its temporary folder with the given settings.
    void Launch(const QByteArray& ini) {
        program_.WriteIni(ini);
        ASSERT_TRUE(program_.Start());
        ASSERT_TRUE(program_.WaitForWindows(true));
        w_ = FindWindows();
        // The first ticks have run once the icon shows a pin's picture.
        ASSERT_GE(WaitForPicture(AnyPicture), 0);
    }
    ProgramWindows FindWindows() const { return program_.Windows(); }
    QString Ini() const { return program_.Ini(); }
    static void Port(int value) { desktop_->Write(0x378, static_cast<std::uint8_t>(value)); }
    static int PortValue() { return desktop_->Read(0x378); }
    // Waits for the icon to show the picture (any of the pins' pictures for
    // AnyPicture); returns the time it took, or -1.
    static constexpr int AnyPicture = -2;
    qint64 WaitForPicture(int picture, int ms = 15000) {
        QElapsedTimer t;
        t.start();
        std::optional<XWindow> icon;
        while (t.elapsed() < ms) {
            if (!icon) {
                // Looked up once it is docked: grabbing alone keeps the polling fast.
                const ProgramWindows now = FindWindows();
                if (now.icon && now.icon->viewable) {
                    icon = now.icon;
                }
            }
            const int shown = icon ? ShownPicture(*icon) : -1;
            if (shown == picture || (picture == AnyPicture && shown >= 0)) {
                return t.elapsed();
            }
            QTest::qWait(5);
        }
        return -1;
    }
    void ClickIcon(const char* button) {
        x11::Click(FindWindows().icon->rect.topLeft() + QPoint(11, 11), QString(button).toInt());
    }
    void ClickMain(QPoint at) { x11::Click(FindWindows().main->rect.topLeft() + at); }
    bool BothViewable() {
        const ProgramWindows now = FindWindows();
        return now.main && now.main->viewable && now.setup && now.setup->viewable;
    }
    bool BothGone() {
        const ProgramWindows now = FindWindows();
        return !(now.main && now.main->viewable) && !(now.setup && now.setup->viewable);
    }
    bool Running() { return program_.Running(); }

    static inline std::unique_ptr<x11::Desktop> desktop_;
    x11::Program program_;
    ProgramWindows w_;
};

// Centre of the tray button of a pin on the main window.
QPoint TrayButton(int pin) {
    return {10 + 60 * (pin - 2) + 8, 54};
}

}  // namespace

TEST_F(TrayX11, IconShowsTheTrayPinAndFollowsIt) {
    Launch("[TrayIcon]\nTrayPin=5\n");
    EXPECT_GE(WaitForPicture(8), 0) << "yellow 5";
    Port(0x08);
    const qint64 red = WaitForPicture(9);
    EXPECT_GE(red, 0) << "red 5";
    // Recorded, not judged: how fast depends on the machine.
    RecordProperty("pin_change_ms", QString::number(red).toStdString());

    ClickMain(TrayButton(3));  // pin 3 = bit 1, clear
    const qint64 other = WaitForPicture(4);
    EXPECT_GE(other, 0) << "yellow 3";
    std::printf("icon follows: pin change %lld ms, tray button %lld ms\n", red, other);
}

TEST_F(TrayX11, ClicksOnTheIconWithBothMappings) {
    for (int item : {0, 1}) {
        SCOPED_TRACE(item);
        Launch(QByteArray("[TrayIcon]\nTrayPin=4\n[Misc]\nMouseButton=") +
               QByteArray::number(item) + "\n");
        const char* flip = item == 0 ? "1" : "3";
        const char* showHide = item == 0 ? "3" : "1";
        Port(0x00);
        ClickIcon(flip);
        EXPECT_TRUE(QTest::qWaitFor([] { return PortValue() == 0x04; }, 10000));
        EXPECT_GE(WaitForPicture(7), 0) << "red 4";
        EXPECT_TRUE(BothViewable());

        ClickIcon(showHide);
        EXPECT_TRUE(QTest::qWaitFor([&] { return BothGone(); }, 10000));
        EXPECT_EQ(PortValue(), 0x04);
        ClickIcon("2");     // the middle button does nothing
        QTest::qWait(300);  // time for a show that should not come
        EXPECT_TRUE(BothGone());
        ClickIcon(showHide);
        EXPECT_TRUE(QTest::qWaitFor([&] { return BothViewable(); }, 10000));
        EXPECT_EQ(PortValue(), 0x04);
        program_.Stop();
    }
}

TEST_F(TrayX11, AltF4HidesAndTheCloseButtonEndsAndSaves) {
    Launch("[TrayIcon]\nTrayPin=2\n");
    // Alt+F4 goes to the active window, through the window manager.
    const QString id = QString::number(w_.main->id);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            Xdo({"windowactivate", "--sync", id});
            return Xdo({"getactivewindow"}).out == id;
        },
        5000));
    Xdo({"key", "alt+F4"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return BothGone(); }, 10000));
    QTest::qWait(500);  // time for an end that should not come
    EXPECT_TRUE(Running());
    const ProgramWindows hidden = FindWindows();
    ASSERT_TRUE(hidden.icon);
    EXPECT_TRUE(hidden.icon->viewable) << "the icon stays";

    ClickIcon("3");
    ASSERT_TRUE(QTest::qWaitFor([&] { return BothViewable(); }, 10000));
    ClickMain(TrayButton(6));
    ClickMain(QPoint(471 + 8, 5 + 8));  // btnClose
    // The clicks above already run our event loop, which may have seen the end.
    ASSERT_TRUE(program_.WaitForExit(10000));
    EXPECT_EQ(program_.Process()->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program_.Process()->exitCode(), 0);
    QSettings ini(Ini(), QSettings::IniFormat);
    EXPECT_EQ(ini.value(QStringLiteral("TrayIcon/TrayPin")).toString(), QStringLiteral("6"));
}

TEST_F(TrayX11, IconComesBackAfterTheTrayHostRestarts) {
    Launch("[TrayIcon]\nTrayPin=9\n");
    ASSERT_GE(WaitForPicture(16), 0);
    desktop_->StopTrayHost();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const ProgramWindows now = FindWindows();
            return !now.icon || !now.icon->viewable;
        },
        10000));
    Port(0x80);         // changed while there is no tray host
    QTest::qWait(300);  // likely seen before the host is back; the check holds either way
    ASSERT_TRUE(desktop_->StartTrayHost());
    EXPECT_GE(WaitForPicture(17, 10000), 0) << "back, with the current picture";
    EXPECT_TRUE(Running());
}

TEST_F(TrayX11, DraggingTheMainWindowTakesTheSetupWindowAlong) {
    Launch("");
    const QRect main = w_.main->rect;
    const QRect setup = w_.setup->rect;
    EXPECT_EQ(setup.left(), main.left() + 89);
    const int offset = main.top() - setup.top();

    const QPoint from = main.topLeft() + QPoint(20, 88);
    Xdo({"mousemove", "--sync", QString::number(from.x()), QString::number(from.y()), "mousedown",
         "1"});
    for (int i = 1; i <= 5; ++i) {
        Xdo({"mousemove", "--sync", QString::number(from.x() - 12 * i),
             QString::number(from.y() + 8 * i)});
        // Every step: the setup window travels along.
        ProgramWindows now;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                now = FindWindows();
                return now.setup && now.main &&
                       now.setup->rect.left() == now.main->rect.left() + 89;
            },
            10000))
            << i;
    }
    Xdo({"mouseup", "1"});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return FindWindows().main->rect.topLeft() == main.topLeft() + QPoint(-60, 40); },
        10000));
    const ProgramWindows after = FindWindows();
    EXPECT_EQ(after.setup->rect.left(), after.main->rect.left() + 89);
    EXPECT_EQ(after.main->rect.top() - after.setup->rect.top(), offset);
}

// A second start brings back a first copy that was minimised, although the tray
// icon took the window off the screen while it still counts as shown: restored,
// active, and with the setup window behind it. The second copy ends by itself.
TEST_F(TrayX11, ASecondStartBringsBackTheMinimisedFirstCopy) {
    Launch("");
    const QString id = QString::number(w_.main->id);
    Xdo({"windowminimize", id});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const ProgramWindows now = FindWindows();
            return now.main && !now.main->viewable;
        },
        5000));
    QTest::qWait(300);  // the window manager settles: the window stays away

    ASSERT_EQ(program_.RunAnotherCopy(15000), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return BothViewable(); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Xdo({"getactivewindow"}).out == id; }, 10000));
    const ProgramWindows now = FindWindows();
    ASSERT_TRUE(now.main && now.setup);
    EXPECT_EQ(now.setup->rect.topLeft(), now.main->rect.topLeft() + QPoint(89, 14));
    EXPECT_TRUE(Running());
}
