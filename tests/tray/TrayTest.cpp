// The tray icon's picture and clicks, the caption buttons, the setup window
// following the main window, the drag handlers and help, on a recording port.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "TrayHarness.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/NotifyIcon.h"
#include "widgets/TransparentRadioGroup.h"

namespace {

class Tray : public ::testing::Test {
protected:
    void SetUp() override {
        h.PresentPorts({0x378});
        h.OpenWithTray();
        f().Timer2->stop();  // ticks are made by hand unless a test starts the timer
        f().show();
        h.Forget();
    }
    TForm1& f() { return *h.form; }
    std::uint8_t& Data() { return h.ports.latch[0x378]; }
    int Picture() { return f().TrayIcon->PictureIndex(); }
    void ChooseTrayPin(int pin) { QTest::mouseClick(f().btnTr[pin], Qt::LeftButton); }
    void Mapping(int item) { FrmSetup->rgrpMouseButton->SetItemIndex(item); }
    void Up(Qt::MouseButton b) { f().TrayIconMouseUp(b, QPoint(5, 5)); }
    bool BothShown() { return f().isVisible() && FrmSetup->isVisible(); }
    bool BothHidden() { return !f().isVisible() && !FrmSetup->isVisible(); }
    bool WaitForEnd(int pin) {
        return QTest::qWaitFor([&] { return f().PinThreads[pin] == nullptr; }, 10000);
    }

    TrayHarness h;
};

}  // namespace

TEST_F(Tray, PictureFollowsTheTrayPinLevelOnEachTick) {
    EXPECT_EQ(Picture(), 2);  // built with the yellow "2"
    ChooseTrayPin(5);
    EXPECT_EQ(f().TrayPinNumber, 5);
    EXPECT_TRUE(f().btnTr[5]->Pressed());
    EXPECT_FALSE(f().btnTr[2]->Pressed());

    Data() = 0x08;  // bit 3 = pin 5
    f().Timer2Timer();
    EXPECT_EQ(Picture(), 9);
    Data() = 0xF7;  // every other bit set
    f().Timer2Timer();
    EXPECT_EQ(Picture(), 8);

    // The running timer picks up another tray button within one tick.
    Data() = 0x20;
    f().Timer2->start();
    QSignalSpy tick(f().Timer2, &QTimer::timeout);
    ChooseTrayPin(7);
    ASSERT_TRUE(tick.wait(10000));
    EXPECT_EQ(Picture(), 13);
    Data() = 0x00;
    ASSERT_TRUE(tick.wait(10000));
    EXPECT_EQ(Picture(), 12);
}

TEST_F(Tray, MouseButtonsFollowTheChosenMapping) {
    ChooseTrayPin(4);  // bit 2
    struct Case {
        int item;
        Qt::MouseButton flips, showsHides;
    };
    for (const Case c :
         {Case{0, Qt::LeftButton, Qt::RightButton}, Case{1, Qt::RightButton, Qt::LeftButton}}) {
        SCOPED_TRACE(c.item);
        Mapping(c.item);
        Data() = 0x00;
        Up(c.flips);
        EXPECT_EQ(Data(), 0x04);
        Up(c.flips);
        EXPECT_EQ(Data(), 0x00);
        EXPECT_TRUE(BothShown());

        Up(c.showsHides);
        EXPECT_TRUE(BothHidden());
        Up(c.showsHides);
        EXPECT_TRUE(BothShown());

        h.Forget();
        Up(Qt::MiddleButton);
        EXPECT_TRUE(h.Writes(0x378).empty());
        EXPECT_TRUE(BothShown());
    }
}

TEST_F(Tray, FlipClicksThePinButtonSoDelayAndDirectionApply) {
    ChooseTrayPin(6);  // bit 4, direction down: a pulse to 0 from 1
    f().PinDirections[6] = true;
    f().btnDir2Click(f().btnDir[6]);
    ASSERT_FALSE(f().PinDirections[6]);
    f().spin[6]->SetText(QStringLiteral("60"));
    Data() = 0x01;
    Up(Qt::LeftButton);
    ASSERT_NE(f().PinThreads[6], nullptr) << "a pulse runs";
    EXPECT_EQ(Data(), 0x01) << "pin 6 pulsed from its rest level 1 down to 0";

    // A second flip from the tray ends the running pulse at its rest level.
    Up(Qt::LeftButton);
    ASSERT_TRUE(WaitForEnd(6)) << "the pulse runs a minute";
    EXPECT_EQ(Data(), 0x11);
}

TEST_F(Tray, CaptionHideAndShowTakeTheSetupWindowAlong) {
    ASSERT_TRUE(BothShown());
    QTest::mouseClick(f().btnHide, Qt::LeftButton);
    EXPECT_TRUE(BothHidden());
    f().show();
    EXPECT_TRUE(BothShown());
}

TEST_F(Tray, MinimiseTakesTheSetupWindowAlong) {
    // The tray icon withdraws a minimised window without clearing its visible flag.
    f().setWindowState(Qt::WindowMinimized);
    QTest::qWait(50);
    EXPECT_TRUE(f().isVisible());
    EXPECT_FALSE(f().isMinimized());
    EXPECT_FALSE(FrmSetup->isVisible()) << "the setup window goes too";
}

// Without a tray, "_" and a close request minimise both windows into the task
// bar, a restore brings both back, and a tray host that goes while the windows
// are hidden in its tray gives them back.
TEST_F(Tray, WithoutATrayBothWindowsMinimiseAndComeBack) {
    h.trayHost = false;
    f().TrayIcon->SetAvailabilityProbe([this] { return h.trayHost; });
    QTest::mouseClick(f().btnHide, Qt::LeftButton);
    EXPECT_TRUE(f().isMinimized());
    EXPECT_TRUE(f().isVisible());
    EXPECT_FALSE(FrmSetup->isVisible());
    EXPECT_TRUE(f().btnHide->toolTip().contains(QString::fromUtf8("панель задач")));
    f().showNormal();
    EXPECT_TRUE(BothShown());

    h.trayHost = true;
    f().TrayIcon->SetAvailabilityProbe([this] { return h.trayHost; });
    QTest::mouseClick(f().btnHide, Qt::LeftButton);
    ASSERT_TRUE(BothHidden());
    h.trayHost = false;
    f().TrayIcon->SetAvailabilityProbe([this] { return h.trayHost; });
    EXPECT_TRUE(BothShown());
}

TEST_F(Tray, CloseButtonEndsTheProgramAndSaves) {
    ChooseTrayPin(8);
    Mapping(1);
    QTest::mouseClick(f().btnClose, Qt::LeftButton);
    EXPECT_TRUE(Application->Terminated());
    EXPECT_FALSE(f().isVisible());
    EXPECT_FALSE(FrmSetup->isVisible());
    QSettings ini(h.IniPath(), QSettings::IniFormat);
    EXPECT_EQ(ini.value(QStringLiteral("TrayIcon/TrayPin")).toString(), QStringLiteral("8"));
    EXPECT_EQ(ini.value(QStringLiteral("Misc/MouseButton")).toString(), QStringLiteral("1"));
}

TEST_F(Tray, DragSwitchesFullWindowDraggingOnForTheDragOnly) {
    // Shown: the window's first resize event has come.
    EXPECT_EQ(f().DragState, 99);
    h.drag.value = false;
    f().WmGetMinMaxInfo();
    EXPECT_EQ(f().DragState, 88);
    EXPECT_TRUE(h.drag.value);
    f().WmGetMinMaxInfo();  // once more during the drag: the saved setting stays
    f().WmExitSizeMove();
    EXPECT_EQ(f().DragState, 77);
    EXPECT_FALSE(h.drag.value) << "back to what it was";

    h.drag.value = true;  // the user switched it on meanwhile
    f().WmGetMinMaxInfo();
    EXPECT_EQ(f().DragState, 88);
    f().WmExitSizeMove();
    EXPECT_TRUE(h.drag.value);
    EXPECT_EQ(h.drag.sets, (std::vector<bool>{true, false, true, true}));

    f().FormResize();
    EXPECT_EQ(f().DragState, 99);
}

TEST_F(Tray, MoveBeforeTheFirstResizeSwitchesNothing) {
    f().DragState = 0;  // as before the window's first resize event
    h.drag.value = false;
    f().WmGetMinMaxInfo();
    EXPECT_EQ(f().DragState, 0);
    EXPECT_TRUE(h.drag.sets.empty());
}

TEST_F(Tray, MovingKeepsTheSetupWindowDocked) {
    f().move(300, 300);
    FrmSetup->move(389, 286);
    f().WmMoving(QRect(350, 320, 495, 135));
    EXPECT_EQ(FrmSetup->pos(), QPoint(439, 306));
    f().move(350, 320);
    f().WmMoving(QRect(340, 250, 495, 135));
    EXPECT_EQ(FrmSetup->pos(), QPoint(429, 236));
}

// F2 … F9 click the toggle buttons while the main window is active, also with
// the focus in a delay edit, whose typing they leave alone; F1 opens the help.
TEST_F(Tray, FunctionKeysFlipThePinsAndOpenTheHelp) {
    f().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f()));
    Data() = 0x00;
    QTest::keyClick(&f(), Qt::Key_F9);
    EXPECT_EQ(Data(), 0x80);
    f().spin[4]->setFocus();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("12"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F4);
    EXPECT_EQ(Data(), 0x84);
    EXPECT_TRUE(f().spin[4]->Text().contains(QStringLiteral("12")))
        << f().spin[4]->Text().toStdString();
    QTest::keyClick(&f(), Qt::Key_F1);
    ASSERT_EQ(h.boxes.size(), 1u);
    EXPECT_TRUE(h.boxes[0].text.contains(QStringLiteral("TARVIK_Help.CHM")));
}

TEST_F(Tray, HelpWithoutItsFileNamesTheFullPath) {
    QTest::mouseClick(f().btnHelp, Qt::LeftButton);
    ASSERT_EQ(h.boxes.size(), 1u);
    const QString path = h.dir.path() + QStringLiteral("/TARVIK_Help.CHM");
    EXPECT_EQ(h.boxes[0].text, QString::fromUtf8("Файл справки ") + "\n\r" + path + "\n\r" +
                                   QString::fromUtf8(" не найден !"));
    EXPECT_EQ(h.boxes[0].caption, QStringLiteral("Tarvik"));
    EXPECT_TRUE(f().isVisible()) << "the program goes on";
}
