// The setup panel: its window and controls, the slide out from behind the main
// window and back (every step and pause recorded), and the delay step option.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "SettingsSupport.h"
#include "widgets/BitmapButton.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphList.h"
#include "widgets/RangeSpinEdit.h"
#include "widgets/SpinArrowButton.h"
#include "widgets/TransparentGroupBox.h"
#include "widgets/WindowSkin.h"

namespace {

// One pause of a slide: where the panel stood (relative to the main window's
// top) and what the user could do at that moment.
struct Pause {
    int top, height, milliseconds;
    bool mainMoveable, buttonEnabled, opaque;
};

class SetupSlide : public ::testing::Test {
protected:
    void SetUp() override {
        h.PresentPorts({0x378});
        if (!ini.isEmpty()) {
            h.WriteIni(ini);
        }
        h.Open();
        upGlyph = Face();
        TForm1::DelayObserver = [this](std::uint16_t seconds, std::int32_t ms) {
            const TFrmSetup& s = *h.setup;
            pauses.push_back({s.y() - h.form->y(), s.height(), seconds * 1000 + ms,
                              h.form->MainSkin->Moveable(), s.btnSetup->isEnabled(),
                              s.testAttribute(Qt::WA_OpaquePaintEvent)});
        };
    }
    void TearDown() override { TForm1::DelayObserver = nullptr; }

    // A user's click on the setup button; returns the pauses it made.
    std::vector<Pause> Click() {
        pauses.clear();
        QTest::mouseClick(h.setup->btnSetup, Qt::LeftButton, {}, QPoint(8, 8));
        return pauses;
    }
    int Top() const { return h.setup->y() - h.form->y(); }
    // The button's picture when the mouse is not over it.
    QImage Face() {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(h.setup->btnSetup, &leave);
        return h.setup->btnSetup->grab().toImage();
    }
    void ExpectAtRest() {
        EXPECT_TRUE(h.form->MainSkin->Moveable());
        EXPECT_TRUE(h.setup->btnSetup->isEnabled());
        EXPECT_FALSE(h.setup->testAttribute(Qt::WA_OpaquePaintEvent));
    }

    QByteArray ini;
    WindowHarness h;
    QImage upGlyph;
    std::vector<Pause> pauses;
};

// Heights the panel passes through: it grows by 50 whenever its bottom edge meets
// the main window's top + 60 on the way up, and shrinks by 50 whenever it meets
// the main window's bottom − 45 (135 − 45 = 90) on the way down.
int GrownHeight(int top) {
    int height = 80;
    for (int t = 14; t >= top; --t) {
        if (t + height == 60)
            height += 50;
    }
    return height;
}

TEST_F(SetupSlide, OpensAndClosesOnePixelAndOnePausePerStep) {
    h.setup->SpinWin->SetValue(1);
    ASSERT_EQ(Top(), 14);

    const auto up = Click();
    ASSERT_EQ(up.size(), 246u);  // from +14 to −231, both included
    for (std::size_t i = 0; i < up.size(); ++i) {
        const Pause& p = up[i];
        EXPECT_EQ(p.top, 14 - int(i));
        EXPECT_EQ(p.height, GrownHeight(p.top)) << "top " << p.top;
        EXPECT_EQ(p.milliseconds, 1);
        EXPECT_FALSE(p.mainMoveable);
        EXPECT_FALSE(p.buttonEnabled);
        EXPECT_FALSE(p.opaque);
    }
    // With the boundary −14 the bottom edge meets the grow line five times.
    EXPECT_EQ(up[34].height, 130);   // top −20
    EXPECT_EQ(up[234].height, 330);  // top −220
    EXPECT_EQ(Top(), -231);
    EXPECT_EQ(h.setup->height(), 303);
    EXPECT_NE(Face(), upGlyph);
    ExpectAtRest();

    const auto down = Click();
    ASSERT_EQ(down.size(), 246u);
    int height = 303;
    for (std::size_t i = 0; i < down.size(); ++i) {
        const Pause& p = down[i];
        EXPECT_EQ(p.top, -231 + int(i));
        if (p.top + height == 90)
            height -= 50;
        EXPECT_EQ(p.height, height) << "top " << p.top;
        EXPECT_FALSE(p.mainMoveable);
        EXPECT_FALSE(p.buttonEnabled);
        EXPECT_TRUE(p.opaque);  // the closing slide paints its whole area itself
    }
    EXPECT_EQ(down[18].height, 253);  // top −213
    EXPECT_EQ(down.back().height, 53);
    EXPECT_EQ(Top(), 14);
    EXPECT_EQ(h.setup->height(), 80);
    EXPECT_EQ(Face(), upGlyph);
    ExpectAtRest();
}

TEST_F(SetupSlide, SpeedZeroJumpsBothWays) {
    h.setup->SpinWin->SetValue(0);
    EXPECT_TRUE(Click().empty());
    EXPECT_EQ(Top(), -231);
    EXPECT_EQ(h.setup->height(), 303);
    EXPECT_NE(Face(), upGlyph);
    EXPECT_TRUE(Click().empty());
    EXPECT_EQ(Top(), 14);
    EXPECT_EQ(h.setup->height(), 80);
    EXPECT_EQ(Face(), upGlyph);
    ExpectAtRest();
}

TEST_F(SetupSlide, ABoundaryChangedWhileOpenIsWhereItCloses) {
    h.setup->SpinWin->SetValue(1);
    Click();
    h.setup->SpinTop->SetValue(20);
    const auto down = Click();
    EXPECT_EQ(down.size(), 212u);  // from −231 to −20
    EXPECT_EQ(Top(), -20);
    EXPECT_EQ(h.setup->height(), 80);
    EXPECT_EQ(Face(), upGlyph);
}

// The setup button takes no focus, so a boundary typed into SpinTop is never
// reformatted into its range; the slide limits it itself. Below −14 the closed
// panel would hide the button behind the main window for good.
TEST_F(SetupSlide, ATypedBoundaryBelowTheRangeSlidesAsItsMinimum) {
    h.setup->SpinWin->SetValue(0);
    h.setup->SpinTop->Editor()->setFocus();
    QTest::keyClick(h.setup->SpinTop->Editor(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(h.setup->SpinTop->Editor(), "-50");
    ASSERT_EQ(h.setup->SpinTop->Text(), "-50");
    Click();
    EXPECT_EQ(Top(), -231);
    Click();
    EXPECT_EQ(Top(), 14);
    EXPECT_EQ(h.setup->height(), 80);
    ExpectAtRest();
}

class SetupSlideHighBoundary : public SetupSlide {
public:
    SetupSlideHighBoundary() { ini = "[Misc]\r\nWinTop=60\r\nStepWindow=1\r\n"; }
};

TEST_F(SetupSlideHighBoundary, ClosesInPlaceAndNeverOpens) {
    ASSERT_EQ(Top(), -60);
    // Show the downward glyphs, so that the closing branch's swap is seen.
    QImage down;
    h.form->PinPictures->CopyBitmap(19, down);
    h.setup->btnSetup->SetBitmaps(down, down, down, down);
    for (int click = 0; click < 2; ++click) {
        const auto pauses = Click();
        ASSERT_EQ(pauses.size(), 1u);
        EXPECT_EQ(pauses[0].top, -60);
        EXPECT_EQ(Top(), -60);
        EXPECT_EQ(h.setup->height(), 80);
        EXPECT_EQ(Face(), upGlyph);
        ExpectAtRest();
    }
}

// A text that is no whole number ends the slide with the error box, and the
// panel can be used again at once.
TEST_F(SetupSlide, ConversionErrorLeavesTheButtonAndTheMainWindowUsable) {
    const struct {
        RangeSpinEdit* spin;
        QString text, message;
    } cases[] = {
        {h.setup->SpinTop, QString(), "'' is not a valid integer value"},
        {h.setup->SpinWin, "1.5", "'1.5' is not a valid integer value"},
    };
    for (const auto& c : cases) {
        h.boxes.clear();
        c.spin->SetText(c.text);
        EXPECT_TRUE(Click().empty());
        EXPECT_EQ(ErrorTexts(h), QStringList{c.message});
        EXPECT_EQ(Top(), 14);
        ExpectAtRest();
        c.spin->SetValue(0);
    }
    h.setup->SpinTop->SetValue(-14);
    Click();
    EXPECT_EQ(Top(), -231);
}

TEST_F(SetupSlide, StepTimeSetsTheStepOfAllEightDelayEdits) {
    NumericLocale numeric(CommaLocale);
    ASSERT_TRUE(numeric.Ok());
    h.setup->SpinStepTime->SetText(Local("0.25"));
    for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
        EXPECT_DOUBLE_EQ(h.form->spin[p]->Step(), 0.25) << p;
    }
    h.setup->SpinStepTime->SetText(QStringLiteral("no number"));
    for (int p = TForm1::FirstDataPin; p <= TForm1::LastDataPin; ++p) {
        EXPECT_DOUBLE_EQ(h.form->spin[p]->Step(), 0.05) << p;
    }
}

TEST(SetupWindow, BuiltInCreationOrderAsAnOrdinaryFramelessWindow80High) {
    WindowHarness h;
    h.Open();
    TFrmSetup& s = *h.setup;
    auto names = [](const QObject* parent) {
        QStringList out;
        for (const QObject* o : parent->children()) {
            if (!o->objectName().isEmpty())
                out << o->objectName();
        }
        return out;
    };
    EXPECT_EQ(names(&s), (QStringList{"SetupShape", "lblPanelTop", "btnSetup", "rgrpPinInit",
                                      "rgrpMouseButton", "grpMisc", "SpinTop"}));
    EXPECT_EQ(names(s.grpMisc), (QStringList{"lblSlideSpeed", "lblStepTime", "chkHintVisible",
                                             "SpinStepTime", "SpinWin", "chkPreDirect"}));
    EXPECT_TRUE(s.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(s.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(h.form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(s.width(), 330);
    EXPECT_EQ(s.height(), 80);
}

TEST(SetupWindow, TabSkipsTheSpinEditsAndSpeedRefusesTyping) {
    WindowHarness h;
    h.Open();
    TFrmSetup& s = *h.setup;
    for (RangeSpinEdit* e : {s.SpinTop, s.SpinStepTime, s.SpinWin}) {
        EXPECT_FALSE(e->TabStop()) << e->objectName().toStdString();
        EXPECT_FALSE(e->Editor()->focusPolicy() & Qt::TabFocus);
    }
    s.SpinWin->SetValue(6);
    s.activateWindow();
    s.SpinWin->Editor()->setFocus();
    QTest::keyClicks(s.SpinWin->Editor(), QStringLiteral("42"));
    EXPECT_EQ(s.SpinWin->Text(), "6");
    QTest::keyClick(s.SpinWin->Editor(), Qt::Key_Up);
    EXPECT_EQ(s.SpinWin->Text(), "7");
    QTest::keyClick(s.SpinWin->Editor(), Qt::Key_Down);
    QTest::keyClick(s.SpinWin->Editor(), Qt::Key_Down);
    EXPECT_EQ(s.SpinWin->Text(), "5");
}

}  // namespace

namespace {

// The step option reaches the delay edits: a text the program wrote (the start-up,
// a step, a reformat) steps by the step; only a caret the user moved behind the
// separator steps by the fraction step, 10.
TEST(DelayEditStep, ButtonsAndKeysUseTheStepUnlessTheUserPutTheCaretInTheFraction) {
    auto up = [](FloatSpinEdit* e) { QTest::mouseClick(e->UpButton(), Qt::LeftButton); };
    auto key = [](FloatSpinEdit* e, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(e->Editor(), k, m);
    };
    {
        WindowHarness h;
        h.Open();
        FloatSpinEdit* spin2 = h.form->spin[2];
        up(spin2);
        up(spin2);
        EXPECT_EQ(spin2->Text().toStdString(), "2.00");
        key(spin2, Qt::Key_Up);
        EXPECT_EQ(spin2->Text().toStdString(), "3.00");
        key(spin2, Qt::Key_End);  // the user's caret, after the separator
        key(spin2, Qt::Key_Up);
        EXPECT_EQ(spin2->Text().toStdString(), "13.00");
        up(spin2);  // the step's own text put the caret back at the start
        EXPECT_EQ(spin2->Text().toStdString(), "14.00");
        // Typed digits keep their order although every one is reformatted.
        key(spin2, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(spin2->Editor(), "12");
        EXPECT_EQ(spin2->Text().toStdString(), "12.00");
        EXPECT_EQ(spin2->Value(), 12);
    }
    WindowHarness h;
    h.WriteIni("[Timer]\r\nTimePin3=5990\r\n[Misc]\r\nStepTime=0.25\r\n");
    h.Open();
    FloatSpinEdit* spin3 = h.form->spin[3];
    spin3->Editor()->setFocus();
    key(spin3, Qt::Key_Up);
    EXPECT_EQ(spin3->Text().toStdString(), "5990.25");
    up(spin3);
    EXPECT_EQ(spin3->Text().toStdString(), "5990.50");
    key(spin3, Qt::Key_Home);
    key(spin3, Qt::Key_Right, Qt::NoModifier);
    key(spin3, Qt::Key_Down);  // the caret before the separator
    EXPECT_EQ(spin3->Text().toStdString(), "5990.25");
    for (int i = 0; i < 6; ++i) {
        key(spin3, Qt::Key_Right);
    }
    key(spin3, Qt::Key_Down);
    EXPECT_EQ(spin3->Text().toStdString(), "5980.25");
}

}  // namespace
