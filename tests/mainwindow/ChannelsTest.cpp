// The data-pin channels and the status lamps, driven through the window's
// handlers against a recording port.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <clocale>

#include "WindowHarness.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/GlyphButton.h"
#include "widgets/ListImage.h"
#include "widgets/LocaleNumber.h"
#include "widgets/TransparentCheckBox.h"

namespace {

class Channels : public ::testing::Test {
protected:
    void SetUp() override {
        h.PresentPorts({0x378, 0x278});
        h.Open();
        h.Forget();
    }
    TForm1& f() { return *h.form; }
    std::uint8_t Data() { return h.ports.latch[0x378]; }
    void SetDelay(int pin, const char* text) { f().spin[pin]->SetText(QString::fromLatin1(text)); }
    // Waits (processing events) until the pin has no running pulse.
    bool WaitForEnd(int pin, int ms = 10000) {
        QElapsedTimer t;
        t.start();
        while (f().PinThreads[pin] != nullptr && t.elapsed() < ms) {
            QTest::qWait(5);
        }
        return f().PinThreads[pin] == nullptr;
    }
    int Face(int pin) { return f().btnPoint[pin]->StateGlyph(GlyphButton::StateUp); }
    WindowHarness h;
};

}  // namespace

TEST_F(Channels, ZeroDelayFlipsAtOnceAndTheButtonFollowsOnTheNextTick) {
    f().Timer2->stop();  // ticks are made by hand here
    f().Timer2Timer();
    EXPECT_EQ(Face(5), 3) << "yellow at level 0";
    f().btnPoint[5]->Click();
    EXPECT_EQ(h.Writes(0x378), std::vector<std::uint8_t>{0x08});
    EXPECT_EQ(Face(5), 3) << "not redrawn at the click";
    f().Timer2Timer();
    EXPECT_EQ(Face(5), 0);
    EXPECT_EQ(f().imgPin[5]->PictureIndex(), 9);
    f().btnPoint[5]->Click();
    EXPECT_EQ(Data(), 0x00);
}

TEST_F(Channels, PulsesInBothDirectionsWithTheirStartEdges) {
    struct Case {
        bool up;
        std::uint8_t before;
        std::vector<std::uint8_t> writes;
        std::uint8_t after;
    };
    const Case cases[] = {
        {true, 0x00, {0x00, 0x10, 0x00}, 0x00},
        {true, 0x10, {0x00, 0x10, 0x00}, 0x00},  // the dip when the pin already stands high
        {false, 0x11, {0x11, 0x01, 0x11}, 0x11},
    };
    for (const Case& c : cases) {
        f().PinDirections[6] = !c.up;
        f().btnDir2Click(f().btnDir[6]);
        EXPECT_EQ(f().btnDir[6]->StateGlyph(GlyphButton::StateUp), c.up ? 10 : 13);
        h.ports.latch[0x378] = c.before;
        SetDelay(6, "0.05");
        h.Forget();
        QElapsedTimer t;
        t.start();
        f().btnPoint[6]->Click();
        const auto atClick = h.Writes(0x378);
        EXPECT_EQ(atClick.size(), 2u);
        ASSERT_TRUE(WaitForEnd(6));
        EXPECT_GE(t.elapsed(), 49);
        EXPECT_EQ(h.Writes(0x378), c.writes);
        EXPECT_EQ(Data(), c.after);
    }
}

TEST_F(Channels, ThePulsesDelayCountsFromItsStartEdge) {
    // How many data writes the port had seen when the delay began to count.
    static const FakePortSystem* ports;
    static std::vector<std::size_t> writesAtStart;
    ports = &h.ports;
    writesAtStart.clear();
    PulseProbe = [](const TPainterThread*, TPulsePoint point) {
        if (point == TPulsePoint::Started) {
            writesAtStart.push_back(std::size_t(std::count_if(
                ports->accesses.begin(), ports->accesses.end(), [](auto& a) { return a.write; })));
        }
    };
    SetDelay(4, "0.05");
    f().btnPoint[4]->Click();
    PulseProbe = nullptr;
    EXPECT_EQ(writesAtStart, std::vector<std::size_t>{2}) << "after both start writes";
    ASSERT_TRUE(WaitForEnd(4));
}

TEST_F(Channels, SecondClickEndsThePulseAndAThirdStartsANewOne) {
    SetDelay(3, "60");
    f().btnPoint[3]->Click();
    ASSERT_NE(f().PinThreads[3], nullptr);
    EXPECT_EQ(Data(), 0x02);
    // Changing the direction during the pulse does not change how it ends.
    f().btnDir2Click(f().btnDir[3]);
    f().btnPoint[3]->Click();
    ASSERT_TRUE(WaitForEnd(3));
    EXPECT_EQ(Data(), 0x00) << "ended with the level of the direction it started with";
    f().btnPoint[3]->Click();  // now down: 1 → 0 and back to 1 at the end
    ASSERT_NE(f().PinThreads[3], nullptr);
    EXPECT_EQ(Data(), 0x00);
    f().btnPoint[3]->Click();
    ASSERT_TRUE(WaitForEnd(3));
    EXPECT_EQ(Data(), 0x02);
}

TEST_F(Channels, TwoPulsesAndAPortChangeDuringAPulse) {
    // Far apart, so that pin 2 still runs when pin 9's end is seen on any machine.
    SetDelay(2, "2");
    SetDelay(9, "0.10");
    h.ports.latch[0x378] = 0x40;
    f().btnPoint[2]->Click();
    f().btnPoint[9]->Click();
    EXPECT_EQ(Data(), 0xC1);
    ASSERT_TRUE(WaitForEnd(9));
    EXPECT_NE(f().PinThreads[2], nullptr);
    EXPECT_EQ(Data(), 0x41) << "pin 9 ended, pin 2 still high, pin 8 untouched";
    // The end write goes to the port selected when the pulse ends.
    f().ComboBox1->setCurrentIndex(1);
    h.ports.latch[0x278] = 0xFF;
    ASSERT_TRUE(WaitForEnd(2));
    EXPECT_EQ(Data(), 0x41);
    EXPECT_EQ(h.ports.latch[0x278], 0xFE);
}

TEST_F(Channels, ZeroDelayDuringAPulseFlipsAndThePulseStillEnds) {
    SetDelay(4, "0.20");
    f().btnPoint[4]->Click();
    SetDelay(4, "0");
    f().btnPoint[4]->Click();
    EXPECT_EQ(Data(), 0x00) << "flipped back at once";
    ASSERT_TRUE(WaitForEnd(4));
    EXPECT_EQ(Data(), 0x00);
    EXPECT_EQ(h.Writes(0x378).size(), 4u) << "two start writes, the flip, the end write";
}

TEST_F(Channels, PresetFromTheDirectionWhenTheDelayChanges) {
    h.setup->chkPreDirect->SetChecked(true);
    h.ports.latch[0x378] = 0x20;  // pin 7 high, direction up
    f().PinDirections[7] = false;
    f().btnDir2Click(f().btnDir[7]);
    SetDelay(7, "1.00");
    EXPECT_EQ(Data(), 0x00);
    f().btnDir2Click(f().btnDir[7]);  // down: rests high
    SetDelay(7, "2.00");
    EXPECT_EQ(Data(), 0x20);
    h.setup->chkPreDirect->SetChecked(false);
    h.Forget();
    SetDelay(7, "3.00");
    EXPECT_TRUE(h.Writes(0x378).empty());
}

TEST_F(Channels, KeyGuardResetsATextAboveTheMaximum) {
    FloatSpinEdit* edit = f().spin[8];
    QLineEdit* line = edit->findChild<QLineEdit*>();
    ASSERT_NE(line, nullptr);
    edit->SetText(QStringLiteral("5999.00"));
    line->setCursorPosition(0);
    QTest::keyClick(line, Qt::Key_9);  // 95999.00: the change handler limits it
    EXPECT_DOUBLE_EQ(edit->Value(), 6000);
    EXPECT_EQ(edit->Text(), "6000.00");
    // A text that already holds more than the maximum refuses the next key.
    QSignalBlocker quiet(edit);
    line->setText(QStringLiteral("7000"));
    QChar key(u'5');
    f().Spin2KeyPress(edit, key);
    EXPECT_EQ(key, QChar(0));
    EXPECT_EQ(line->text(), "6000");
}

TEST_F(Channels, AnEmptiedDelayEditStillTakesTheNumberTypedIntoIt) {
    FloatSpinEdit* edit = f().spin[3];
    QLineEdit* line = edit->findChild<QLineEdit*>();
    ASSERT_NE(line, nullptr);
    edit->SetText(QStringLiteral("2.50"));
    line->setFocus();
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Backspace);
    ASSERT_EQ(line->text(), "");
    const std::size_t boxesWhenEmpty = h.boxes.size();  // the change to '' is reported
    QTest::keyClick(line, Qt::Key_Period);
    QTest::keyClick(line, Qt::Key_5);
    EXPECT_DOUBLE_EQ(edit->Value(), 0.5);
    EXPECT_EQ(line->text(), "0.50");
    // Only the change to "." is reported; no key was refused by the guard.
    EXPECT_EQ(h.boxes.size(), boxesWhenEmpty + 1);
}

// The change handler rewrites the text after every key; a number typed over the
// selected delay is still the delay the edit ends up with, under either separator,
// also over the maximum.
TEST_F(Channels, ADecimalTypedOverTheDelayIsTheDelayTyped) {
    FloatSpinEdit* edit = f().spin[2];
    QLineEdit* line = edit->Editor();
    line->setFocus();
    struct Case {
        const char* before;
        const char* typed;
        double value;
    };
    const Case cases[] = {{"0", "5", 5},        {"5", "0.5", 0.5},   {"0.5", "2.5", 2.5},
                          {"6000", "0.4", 0.4}, {"1", "12.5", 12.5}, {"3", "0.05", 0.05},
                          {"2", "5\b7", 7}};
    for (const char* locale : {"C.UTF-8", "ru_RU.UTF-8"}) {
        ASSERT_NE(std::setlocale(LC_NUMERIC, locale), nullptr) << locale;
        const auto local = [](const char* text) {
            return QString::fromLatin1(text).replace(u'.', DecimalSeparator());
        };
        for (const Case& c : cases) {
            edit->SetValue(QByteArray(c.before).toDouble());
            line->selectAll();
            QTest::keyClicks(line, local(c.typed));
            EXPECT_DOUBLE_EQ(edit->Value(), c.value) << locale << ": " << c.typed;
            EXPECT_EQ(edit->Text().toStdString(), FormatFixed(c.value, 2).toStdString())
                << locale << ": " << c.typed;
        }
    }
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_TRUE(h.boxes.empty());
}

TEST_F(Channels, AnotherWritersChangeShowsWithinOneTick) {
    h.ports.latch[0x378] = 0x81;
    QSignalSpy tick(f().Timer2, &QTimer::timeout);
    ASSERT_TRUE(tick.wait(10000));
    EXPECT_EQ(Face(2), 0);
    EXPECT_EQ(Face(9), 0);
    EXPECT_EQ(Face(5), 3);
    EXPECT_EQ(f().imgPin[9]->PictureIndex(), 9);
    EXPECT_EQ(f().imgPin[3]->PictureIndex(), 10);
}

TEST_F(Channels, StatusLampsFollowTheControlAndStatusRegisters) {
    struct Case {
        std::uint8_t control, status;
        int p1, p14, p16, p17, p10, p11, p12, p13, p15;
    };
    const Case cases[] = {
        {0x00, 0x00, 11, 11, 12, 11, 14, 13, 14, 14, 14},
        {0x0F, 0xF8, 12, 12, 11, 12, 13, 14, 13, 13, 13},
        // The high control bits and the low status bits change nothing.
        {0xF0, 0x07, 11, 11, 12, 11, 14, 13, 14, 14, 14},
    };
    for (const Case& c : cases) {
        h.ports.latch[0x37A] = c.control;
        h.ports.latch[0x379] = c.status;
        f().Timer1Timer();
        const int pins[] = {1, 14, 16, 17, 10, 11, 12, 13, 15};
        const int want[] = {c.p1, c.p14, c.p16, c.p17, c.p10, c.p11, c.p12, c.p13, c.p15};
        for (int i = 0; i < 9; ++i) {
            EXPECT_EQ(f().imgPin[pins[i]]->PictureIndex(), want[i]) << "pin " << pins[i];
        }
    }
    h.Forget();
    f().Timer1Timer();
    ASSERT_EQ(h.ports.accesses.size(), 9u);
    for (int i = 0; i < 9; ++i) {
        EXPECT_FALSE(h.ports.accesses[i].write);
        EXPECT_EQ(h.ports.accesses[i].address, i < 4 ? 0x37A : 0x379);
    }
}
