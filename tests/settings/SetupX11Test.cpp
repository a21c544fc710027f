// The real program on a real X server with openbox: with a fresh settings file the
// setup button can be clicked and the panel slides open; settings changed with the
// mouse survive closing and starting the program again.
// TARVIK_SCREENSHOT_DIR, when set, receives setup-closed.png and setup-open.png.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRect>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "support/X11Desktop.h"

namespace {

// The places of the program's main window and panel, once both show.
bool WaitForWindows(x11::Program& program, QRect& main, QRect& setup) {
    if (!program.WaitForWindows()) {
        return false;
    }
    const x11::ProgramWindows w = program.Windows();
    main = w.main ? w.main->rect : QRect();
    setup = w.setup ? w.setup->rect : QRect();
    return true;
}

void Click(QPoint p) {
    x11::Xdo({"mousemove", QString::number(p.x()), QString::number(p.y()), "click", "1"});
    QTest::qWait(200);
}

void Screenshot(const QString& folder, const QString& name, const QRect& area) {
    x11::Tool(QStringLiteral("import"), {"-window", "root", "-crop",
                                         QStringLiteral("%1x%2+%3+%4")
                                             .arg(area.width())
                                             .arg(area.height())
                                             .arg(area.x())
                                             .arg(area.y()),
                                         "+repage", folder + u'/' + name});
}

class SetupOnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x11::HaveDisplay()) {
            GTEST_SKIP() << "TARVIK_TEST_DISPLAY is not set";
        }
    }
    QString ShotFolder() const {
        return qEnvironmentVariable("TARVIK_SCREENSHOT_DIR", scratch_.path());
    }
    // Declared first: the program ends before its desktop.
    std::unique_ptr<x11::Desktop> desktop_;
    x11::Program program_;
    QTemporaryDir scratch_;
};

}  // namespace

TEST_F(SetupOnX11, TheButtonOpensTheFreshPanelAndSettingsSurviveARestart) {
    desktop_ = std::make_unique<x11::Desktop>(x11::Desktop::Parts{.agent = true});
    ASSERT_TRUE(program_.ReadIni().isEmpty());
    ASSERT_TRUE(program_.Start());
    QRect main, setup;
    ASSERT_TRUE(WaitForWindows(program_, main, setup));
    QTest::qWait(1500);  // the start-up's own pause, and the first paint
    // The window manager may still have placed the windows after they first showed.
    ASSERT_TRUE(WaitForWindows(program_, main, setup));
    EXPECT_EQ(setup.top(), main.top() + 14);  // closed, at the default boundary
    EXPECT_EQ(setup.left(), main.left() + 89);
    EXPECT_EQ(setup.height(), 80);
    Screenshot(ShotFolder(), QStringLiteral("setup-closed.png"), main);

    // btnSetup at panel (286, 5) + 8: above the main window's body.
    Click(setup.topLeft() + QPoint(294, 13));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return WaitForWindows(program_, main, setup) && setup.top() == main.top() - 231 &&
                   setup.height() == 303;
        },
        15000))
        << "panel at " << setup.top() - main.top() << ", height " << setup.height();
    QTest::qWait(500);
    Screenshot(ShotFolder(), QStringLiteral("setup-open.png"), main.united(setup));

    // Change settings with the mouse: hints on (grpMisc 17, 93 + chkHintVisible 8, 31),
    // the tray shows pin 5, pin 4 switches downward.
    Click(setup.topLeft() + QPoint(17 + 8 + 7, 93 + 31 + 8));
    Click(main.topLeft() + QPoint(10 + 60 * 3 + 8, 54));
    Click(main.topLeft() + QPoint(10 + 60 * 2 + 39 + 8, 54));

    Click(main.topLeft() + QPoint(479, 13));  // btnClose
    ASSERT_TRUE(program_.WaitForExit(10000));
    const QByteArray first = program_.ReadIni();
    EXPECT_TRUE(first.contains("[Misc]\r\n")) << first.constData();
    EXPECT_TRUE(first.contains("HintVisible=1\r\n")) << first.constData();
    EXPECT_TRUE(first.contains("TrayPin=5\r\n")) << first.constData();
    EXPECT_TRUE(first.contains("DirectPin4=0\r\n")) << first.constData();
    EXPECT_TRUE(first.contains("WinTop=-14\r\n")) << first.constData();

    // Started again, the program comes up with the saved values and saves them unchanged.
    ASSERT_TRUE(program_.Start());
    ASSERT_TRUE(WaitForWindows(program_, main, setup));
    QTest::qWait(1500);
    ASSERT_TRUE(WaitForWindows(program_, main, setup));
    EXPECT_EQ(setup.top(), main.top() + 14);
    Click(main.topLeft() + QPoint(479, 13));
    ASSERT_TRUE(program_.WaitForExit(10000));
    EXPECT_EQ(program_.ReadIni(), first);
}
