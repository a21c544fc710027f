// Start-up and shutdown of the main window on a recording port layer.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "WindowHarness.h"
#include "widgets/BitmapButton.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/GradientPanel.h"
#include "widgets/ListImage.h"
#include "widgets/RangeSpinEdit.h"
#include "widgets/ShapedHint.h"
#include "widgets/TransparentCheckBox.h"

namespace {

std::vector<std::uint16_t> DataWriteAddresses(const FakePortSystem& ports) {
    std::vector<std::uint16_t> out;
    for (const auto& a : ports.accesses) {
        if (a.write)
            out.push_back(a.address);
    }
    return out;
}

}  // namespace

TEST(Startup, TakesTheFirstPresentPortAndProbesEachPortTwiceInOrder) {
    WindowHarness h;
    h.PresentPorts({0x378, 0x278});
    h.Open();
    QComboBox* selector = h.form->ComboBox1;
    ASSERT_EQ(selector->count(), 2);
    EXPECT_EQ(selector->itemText(0), "$378");
    EXPECT_EQ(selector->itemText(1), "$278");
    EXPECT_EQ(selector->currentText(), "$378");
    EXPECT_EQ(h.form->SelectedPortCode(), PortCode378);

    // Construction and the selector each probe 0x3BC, 0x378, 0x278 with four data writes;
    // the default initial state writes nothing more.
    std::vector<std::uint16_t> expected;
    for (int round = 0; round < 2; ++round) {
        for (std::uint16_t base : {0x3BC, 0x378, 0x278}) {
            expected.insert(expected.end(), 4, base);
        }
    }
    EXPECT_EQ(DataWriteAddresses(h.ports), expected);
    EXPECT_EQ(h.Writes(0x378),
              (std::vector<std::uint8_t>{0x00, 0x55, 0xAA, 0x00, 0x00, 0x55, 0xAA, 0x00}));
    EXPECT_TRUE(h.boxes.empty());
}

TEST(Startup, WithoutAnyPortTheLastPortCodeIsUsed) {
    WindowHarness h;
    h.PresentPorts({});
    h.Open();
    EXPECT_EQ(h.form->ComboBox1->count(), 0);
    EXPECT_EQ(h.form->SelectedPortCode(), PortCode278);
}

TEST(Startup, InitialPinStateFromTheSettings) {
    {
        WindowHarness h;
        h.WriteIni("[Misc]\r\nPinInit=2\r\n");
        h.PresentPorts({0x378});
        h.Open();
        const auto writes = h.Writes(0x378);
        ASSERT_EQ(writes.size(), 9u);
        EXPECT_EQ(writes.back(), 0xFF);
        EXPECT_EQ(h.ports.latch[0x378], 0xFF);
    }
    {
        WindowHarness h;
        h.WriteIni("[Misc]\r\nPinInit=1\r\n");
        h.PresentPorts({0x378});
        h.ports.latch[0x378] = 0x5A;
        h.Open();
        EXPECT_EQ(h.Writes(0x378).back(), 0x00);
    }
    {
        // A value below −1 selects nothing: the pins are left alone.
        WindowHarness h;
        h.WriteIni("[Misc]\r\nPinInit=-4\r\n");
        h.PresentPorts({0x378});
        h.Open();
        EXPECT_EQ(h.Writes(0x378).size(), 8u);
    }
}

TEST(Startup, SetupWindowLiesBehindTheMainWindowAtTheBoundary) {
    WindowHarness h;
    h.WriteIni("[Misc]\r\nWinTop=20\r\n");
    h.Open();
    EXPECT_EQ(h.setup->x(), h.form->x() + 89);
    EXPECT_EQ(h.setup->y(), h.form->y() - 20);
    EXPECT_EQ(h.setup->height(), 80);
}

TEST(Startup, UnusableDriverShowsTheCodeAndEndsWithoutSavingSettings) {
    WindowHarness h;
    h.ports.deviceOpens = {false};
    h.ports.libraryLoads = false;
    h.ports.openError = 2;
    h.Open();
    ASSERT_EQ(h.boxes.size(), 1u);
    EXPECT_EQ(h.boxes[0].caption, "ERROR");
    EXPECT_EQ(h.boxes[0].text,
              QString::fromUtf8("Ошибка при создании объекта Lpt,  драйвер ERROR,  код = 2"));
    EXPECT_TRUE(Application->Terminated());
    EXPECT_FALSE(h.form->isVisible());
    EXPECT_EQ(h.form->SelectedPortCode(), PortCode278);
    EXPECT_TRUE(h.ports.accesses.empty());
    // Had the message loop started, only this timer would end it.
    bool looped = false;
    QObject scope;
    QTimer::singleShot(10000, &scope, [&] {
        looped = true;
        QCoreApplication::quit();
    });
    EXPECT_EQ(Application->Run(), 0);
    EXPECT_FALSE(looped);
    h.Close();
    EXPECT_FALSE(QFile::exists(h.IniPath()));
}

TEST(Startup, DelayProcessesMessagesUntilItsTimeHasCome) {
    // No time to wait: not even one turn of the message loop.
    bool turned = false;
    QObject scope;
    QTimer::singleShot(0, &scope, [&] { turned = true; });
    TForm1::Delay(0, 0);
    EXPECT_FALSE(turned);
    QCoreApplication::processEvents();
    ASSERT_TRUE(turned);

    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(100);
    QElapsedTimer t;
    t.start();
    TForm1::Delay(1, 0);
    EXPECT_GE(t.elapsed(), 999);
    EXPECT_GE(ticks, 2) << "the loop turned during the wait";
}

TEST(Startup, ExceptionInAHandlerShowsTheErrorBoxAndTheProgramGoesOn) {
    WindowHarness h;
    h.PresentPorts({0x378});
    h.Open();
    h.boxes.clear();
    FloatSpinEdit* edit = h.form->spin[4];
    edit->SetText(QStringLiteral("1.50"));
    // Emptying the edit by hand: its change handler cannot convert the empty text.
    QLineEdit* line = edit->findChild<QLineEdit*>();
    ASSERT_NE(line, nullptr);
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Backspace);
    ASSERT_EQ(h.boxes.size(), 1u);
    EXPECT_EQ(h.boxes[0].kind, TApplication::BoxKind::Error);
    EXPECT_EQ(h.boxes[0].caption, "Tarvik");
    EXPECT_EQ(h.boxes[0].text, "'' is not a valid floating point value");
    EXPECT_FALSE(Application->Terminated());
    // The click then reads the empty text as no delay and flips the pin at once.
    h.Forget();
    h.form->btnPoint[4]->Click();
    EXPECT_EQ(h.Writes(0x378), std::vector<std::uint8_t>{0x04});
}

TEST(HintLook, FollowsTheControlsKindAndTag) {
    WindowHarness h;
    h.Open();
    TForm1& f = *h.form;
    ShapedHint& hint = *f.ShpHint1;
    struct Case {
        QWidget* control;
        QColor color, border;
        THintStyle style;
    };
    const Case cases[] = {
        {f.imgPin[14], QColor(0xA6CAF0), QColor(0x0000FF), hsNoseEllipse},
        {f.imgPin[15], QColor(0x808000), QColor(0x800000), hsNoseEllipse},
        {f.imgPin[5], QColor(0x008000), QColor(0x00FF00), hsNoseEllipse},
        {f.imgPin[20], f.palette().color(QPalette::ToolTipBase), Qt::black, hsNoseEllipse},
        // Tag 53 is also a control-pin image tag: the kind decides first.
        {f.btnDir[5], QColor(0x008080), QColor(0xFF0000), hsNoseRect},
        {f.btnTr[7], QColor(0x008080), QColor(0xFFFFFF), hsNoseRect},
        {f.btnPoint[9], QColor(0x008080), QColor(0x0000FF), hsNoseRect},
        {f.btnClose, QColor(0x000080), QColor(0xFF0000), hsEllipse},
        {h.setup->btnSetup, QColor(0x000080), QColor(0xFF0000), hsEllipse},
        {f.spin[3], f.palette().color(QPalette::ToolTipBase), Qt::black, hsRoundRect},
    };
    h.setup->chkHintVisible->SetChecked(false);
    for (const Case& c : cases) {
        EXPECT_FALSE(f.AppShowHint(c.control)) << "hints are off";
        EXPECT_EQ(hint.Color(), c.color) << c.control->objectName().toStdString();
        EXPECT_EQ(hint.BorderColor(), c.border) << c.control->objectName().toStdString();
        EXPECT_EQ(hint.Style(), c.style) << c.control->objectName().toStdString();
    }
    // A control no row matches leaves the last look as it was.
    h.setup->chkHintVisible->SetChecked(true);
    EXPECT_TRUE(f.AppShowHint(f.pnlSpin[2]));
    EXPECT_EQ(hint.Style(), hsRoundRect);
}

// Hints show over both windows, not only over the active one.
TEST(HintLook, ShowsOverTheWindowThatIsNotActive) {
    WindowHarness h;
    h.Open();
    h.setup->chkHintVisible->SetChecked(true);
    h.setup->SpinWin->SetValue(0);
    h.setup->btnSetupClick();  // open: its button clear of the main window
    const std::pair<QWidget*, QWidget*> cases[] = {{h.form.get(), h.setup->btnSetup},
                                                   {h.setup.get(), h.form->btnPoint[5]}};
    for (const auto& [active, control] : cases) {
        active->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(active));
        QTest::mouseMove(control, control->rect().center());
        EXPECT_TRUE(QTest::qWaitFor([&] { return h.form->ShpHint1->Control() == control; }, 5000))
            << control->objectName().toStdString();
        h.form->ShpHint1->HideHint();
    }
}
