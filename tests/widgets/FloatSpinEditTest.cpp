#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "framework/Exceptions.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/LocaleNumber.h"

namespace {

// A delay edit as the main window builds it.
class FloatSpinEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        OverrideDecimalSeparator(QChar('.'));
        window_ = std::make_unique<QWidget>();
        spin_ = new FloatSpinEdit(window_.get());
        spin_->SetMinimum(0);
        spin_->SetMaximum(6000);
        spin_->SetStep(0.25);
        spin_->SetLargeStep(10);
        spin_->SetFractionStep(10);
        spin_->setGeometry(0, 0, 52, 15);
        other_ = new QLineEdit(window_.get());
        other_->move(0, 30);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        spin_->Editor()->setFocus();
    }
    void TearDown() override { OverrideDecimalSeparator(QChar()); }

    // Puts the caret at the end, as after typing.
    void Show(const QString& text) {
        spin_->SetText(text);
        spin_->Editor()->setCursorPosition(static_cast<int>(text.size()));
    }

    std::unique_ptr<QWidget> window_;
    FloatSpinEdit* spin_ = nullptr;
    QLineEdit* other_ = nullptr;
};

TEST_F(FloatSpinEditTest, StepsUpToTheMaximumWithTwoDecimals) {
    Show("5990");
    QTest::keyClick(spin_->Editor(), Qt::Key_Up);
    EXPECT_EQ(spin_->Text(), "5990.25");
    Show("5999.90");
    spin_->Editor()->setCursorPosition(0);
    QTest::keyClick(spin_->Editor(), Qt::Key_Up);
    EXPECT_EQ(spin_->Text(), "6000.00");
    // Stepping writes the text only.
    EXPECT_EQ(spin_->Value(), 0);
}

TEST_F(FloatSpinEditTest, CaretAfterTheSeparatorUsesTheFractionStep) {
    Show("2.50");
    spin_->Editor()->setCursorPosition(2);  // just after the separator
    QTest::keyClick(spin_->Editor(), Qt::Key_Up);
    EXPECT_EQ(spin_->Text(), "12.50");
    spin_->Editor()->setCursorPosition(2);  // just before it
    QTest::keyClick(spin_->Editor(), Qt::Key_Down);
    EXPECT_EQ(spin_->Text(), "12.25");
}

TEST_F(FloatSpinEditTest, PageKeysAndButtonsStopAtTheLimits) {
    Show("3");
    QTest::keyClick(spin_->Editor(), Qt::Key_PageDown);
    EXPECT_EQ(spin_->Text(), "0.00");
    Show("7000");
    QTest::keyClick(spin_->Editor(), Qt::Key_PageDown);
    EXPECT_EQ(spin_->Text(), "5990.00");
    Show("-5");
    QSignalSpy changes(spin_, &FloatSpinEdit::Change);
    QTest::keyClick(spin_->Editor(), Qt::Key_PageUp);
    // The text went to the minimum first, then up by the large step.
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(spin_->Text(), "10.00");
}

TEST_F(FloatSpinEditTest, SetValueLimitsRewritesAndRaisesChange) {
    QSignalSpy changes(spin_, &FloatSpinEdit::Change);
    spin_->SetValue(0);
    EXPECT_EQ(changes.count(), 0);
    spin_->SetValue(7000);
    EXPECT_EQ(spin_->Value(), 6000);
    EXPECT_EQ(spin_->Text(), "6000.00");
    EXPECT_EQ(changes.count(), 1);
    spin_->SetText("6000.00");
    EXPECT_EQ(changes.count(), 1);
}

TEST_F(FloatSpinEditTest, KeyPressComesFirstAndCanDropOrReplaceTheKey) {
    Show("");
    QList<QChar> seen;
    QObject::connect(spin_, &FloatSpinEdit::KeyPress, spin_, [&](QChar& key) {
        seen << key;
        if (key == QChar('9')) {
            key = QChar();
        } else if (key == QChar('1')) {
            key = QChar('7');
        }
    });
    QTest::keyClicks(spin_->Editor(), "219");
    EXPECT_EQ(spin_->Text(), "27");
    EXPECT_EQ(seen, (QList<QChar>{'2', '1', '9'}));
}

TEST_F(FloatSpinEditTest, OnlyNumberCharactersAreTaken) {
    Show("12");
    QSignalSpy refused(spin_, &FloatSpinEdit::Refused);
    QTest::keyClicks(spin_->Editor(), "a.5.x");
    EXPECT_EQ(spin_->Text(), "12.5");
    EXPECT_EQ(refused.count(), 3);
    QTest::keyClick(spin_->Editor(), Qt::Key_Backspace);
    EXPECT_EQ(spin_->Text(), "12.");
}

TEST_F(FloatSpinEditTest, ChangeHandlerExceptionsReachTheCaller) {
    QObject::connect(spin_, &FloatSpinEdit::Change, spin_,
                     [] { throw EConvertError("'x' is not a valid floating point value"); });
    EXPECT_THROW(spin_->SetText("x"), EConvertError);
    EXPECT_EQ(spin_->Text(), "x");
}

TEST_F(FloatSpinEditTest, LosingTheFocusTakesTheTextOver) {
    Show("12.5");
    other_->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(spin_->Value(), 12.5);
    EXPECT_EQ(spin_->Text(), "12.50");
    spin_->Editor()->setFocus(Qt::TabFocusReason);
    Show("abc");
    other_->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(spin_->Text(), "12.50");
}

TEST_F(FloatSpinEditTest, CommaLocaleWritesAndStepsWithAComma) {
    OverrideDecimalSeparator(QChar(','));
    spin_->SetValue(1.5);
    EXPECT_EQ(spin_->Text(), "1,50");
    spin_->Editor()->setCursorPosition(0);
    QTest::keyClick(spin_->Editor(), Qt::Key_Up);
    EXPECT_EQ(spin_->Text(), "1,75");
    double number = 0;
    EXPECT_FALSE(ParseLocaleNumber("1.75", number));
    EXPECT_TRUE(ParseLocaleNumber(" -2,5e1 ", number));
    EXPECT_EQ(number, -25);
}

TEST(LocaleNumberTest, ParsesOnlyWholeNumbers) {
    OverrideDecimalSeparator(QChar('.'));
    double number = 7;
    for (const char* bad : {"", "-", "+", ".", "1.2.3", "1,5", "inf", "nan", "1e", "0x10"}) {
        EXPECT_FALSE(ParseLocaleNumber(bad, number)) << bad;
    }
    EXPECT_EQ(number, 7);
    EXPECT_TRUE(ParseLocaleNumber("5.", number));
    EXPECT_EQ(number, 5);
    EXPECT_EQ(FormatFixed(-0.001, 2), "0.00");
    EXPECT_EQ(FormatFixed(2.5e1, 2), "25.00");
    OverrideDecimalSeparator(QChar());
}

}  // namespace

// The window's destruction deletes an edit that still has the focus: the focus
// leaves the text part while the spin edit around it is half gone.
TEST_F(FloatSpinEditTest, DeletingTheFocusedEditTouchesNothingOfItAnyMore) {
    Show("7.5");
    ASSERT_TRUE(spin_->Editor()->hasFocus());
    delete spin_;
    spin_ = nullptr;
    EXPECT_FALSE(window_->focusWidget() != nullptr && window_->focusWidget() != other_);
}
