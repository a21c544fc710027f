#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "widgets/LocaleNumber.h"
#include "widgets/RangeSpinEdit.h"
#include "widgets/SpinArrowButton.h"

namespace {

// The three edits of the setup window, with their layout values.
class RangeSpinEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        OverrideDecimalSeparator(QChar('.'));
        window_ = std::make_unique<QWidget>();
        win_ = Make(7);
        win_->SetValue(1);

        top_ = Make(40);
        top_->SetMinimum(-100);
        top_->SetBlankAllowed(true);
        top_->SetTypingAllowed(true);
        top_->SetValue(-32);

        step_ = Make(70);
        step_->SetDecimals(2);
        step_->SetWholeNumbersOnly(false);
        step_->SetMinimum(0.05);
        step_->SetMaximum(10);
        step_->SetIncrement(0.05);
        step_->SetTypingAllowed(true);
        step_->SetValue(0.05);

        other_ = new QLineEdit(window_.get());
        other_->move(0, 100);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    }
    void TearDown() override { OverrideDecimalSeparator(QChar()); }

    RangeSpinEdit* Make(int top) {
        auto* spin = new RangeSpinEdit(window_.get());
        spin->setGeometry(7, top, 47, 21);
        spin->SetKeepWithinRange(true);
        spin->SetTabStop(false);
        return spin;
    }

    void Focus(RangeSpinEdit* spin) { spin->Editor()->setFocus(Qt::MouseFocusReason); }
    void Leave() { other_->setFocus(Qt::MouseFocusReason); }

    std::unique_ptr<QWidget> window_;
    RangeSpinEdit* win_ = nullptr;
    RangeSpinEdit* top_ = nullptr;
    RangeSpinEdit* step_ = nullptr;
    QLineEdit* other_ = nullptr;
};

TEST_F(RangeSpinEditTest, NoTypingRefusesKeysButStillSteps) {
    Focus(win_);
    QSignalSpy refused(win_, &RangeSpinEdit::Refused);
    QTest::keyClick(win_->Editor(), Qt::Key_5);
    QTest::keyClick(win_->Editor(), Qt::Key_Backspace);
    QTest::keyClick(win_->Editor(), Qt::Key_Delete);
    win_->Editor()->selectAll();
    QTest::keyClick(win_->Editor(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(win_->Text(), "1");
    EXPECT_EQ(refused.count(), 3);

    QTest::keyClick(win_->Editor(), Qt::Key_Up);
    EXPECT_EQ(win_->Text(), "2");
    QTest::mouseClick(win_->UpButton(), Qt::LeftButton);
    EXPECT_EQ(win_->Text(), "3");
    QTest::keyClick(win_->Editor(), Qt::Key_PageUp);
    EXPECT_EQ(win_->Text(), "13");
    win_->SetValue(95);
    QTest::keyClick(win_->Editor(), Qt::Key_PageUp);
    EXPECT_EQ(win_->Text(), "100");
}

TEST_F(RangeSpinEditTest, BlankAllowedEditStaysEmptyAndReadsAsBlankValue) {
    Focus(top_);
    top_->Editor()->selectAll();
    QTest::keyClick(top_->Editor(), Qt::Key_Backspace);
    EXPECT_EQ(top_->Text(), "");
    EXPECT_EQ(top_->Value(), 0);
    Leave();
    EXPECT_EQ(top_->Text(), "");
    // Stepping from blank starts at the blank value.
    QTest::keyClick(top_->Editor(), Qt::Key_Down);
    EXPECT_EQ(top_->Text(), "-1");
}

TEST_F(RangeSpinEditTest, EmptyWithoutBlankBecomesTheMinimum) {
    step_->SetText("");
    QSignalSpy changes(step_, &RangeSpinEdit::Change);
    EXPECT_EQ(step_->Value(), 0.05);
    EXPECT_EQ(step_->Text(), "0.05");
    EXPECT_EQ(changes.count(), 1);
}

TEST_F(RangeSpinEditTest, NonNumberCountsAsMinimumAndIsReplacedOnFocusLoss) {
    Focus(top_);
    top_->SetText("1-2");
    EXPECT_EQ(top_->Value(), -100);
    EXPECT_EQ(top_->Text(), "1-2");
    Leave();
    EXPECT_EQ(top_->Text(), "-100");
}

TEST_F(RangeSpinEditTest, UpAtTheMaximumKeepsTwoDecimals) {
    step_->SetText("10");
    Focus(step_);
    QTest::keyClick(step_->Editor(), Qt::Key_Up);
    EXPECT_EQ(step_->Text(), "10.00");
    step_->SetText("0.1");
    QTest::keyClick(step_->Editor(), Qt::Key_Down);
    EXPECT_EQ(step_->Text(), "0.05");
}

TEST_F(RangeSpinEditTest, TypingRulesForSignSeparatorAndEnter) {
    Focus(top_);
    QSignalSpy refused(top_, &RangeSpinEdit::Refused);
    top_->SetText("12");
    top_->Editor()->setCursorPosition(2);
    QTest::keyClick(top_->Editor(), '-');  // not at the start
    QTest::keyClick(top_->Editor(), '.');  // whole numbers only
    QTest::keyClick(top_->Editor(), Qt::Key_Return);
    QTest::keyClick(top_->Editor(), ' ');
    EXPECT_EQ(refused.count(), 4);
    top_->Editor()->setCursorPosition(0);
    QTest::keyClick(top_->Editor(), '-');
    EXPECT_EQ(top_->Text(), "-12");
    top_->Editor()->setCursorPosition(0);
    QTest::keyClick(top_->Editor(), '+');  // already signed
    EXPECT_EQ(refused.count(), 5);
    top_->Editor()->selectAll();
    QTest::keyClick(top_->Editor(), '+');
    EXPECT_EQ(top_->Text(), "+");
    top_->SetText("12");
    top_->Editor()->setSelection(0, 1);  // from the start, the caret after the "1"
    QTest::keyClick(top_->Editor(), '-');
    EXPECT_EQ(top_->Text(), "-2");

    Focus(step_);
    step_->SetText("1.5");
    step_->Editor()->setCursorPosition(3);
    QTest::keyClick(step_->Editor(), '.');
    EXPECT_EQ(step_->Text(), "1.5");
    step_->Editor()->setSelection(1, 2);  // ".5" holds the separator
    QTest::keyClick(step_->Editor(), '.');
    EXPECT_EQ(step_->Text(), "1.");
}

TEST_F(RangeSpinEditTest, WheelStepsByIncrementAndWithCtrlByPage) {
    const QPoint centre = win_->rect().center();
    QWheelEvent up(centre, win_->mapToGlobal(centre), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(win_, &up);
    EXPECT_EQ(win_->Text(), "2");
    QWheelEvent down(centre, win_->mapToGlobal(centre), {}, {0, -120}, Qt::NoButton,
                     Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(win_, &down);
    EXPECT_EQ(win_->Text(), "0");
}

TEST_F(RangeSpinEditTest, TabNeverStopsInTheEdits) {
    auto* first = new QLineEdit(window_.get());
    first->move(100, 0);
    first->show();
    QWidget::setTabOrder(first, win_);
    QWidget::setTabOrder(win_, top_);
    QWidget::setTabOrder(top_, step_);
    QWidget::setTabOrder(step_, other_);
    first->setFocus(Qt::TabFocusReason);
    QTest::keyClick(first, Qt::Key_Tab);
    EXPECT_TRUE(other_->hasFocus());
    // A click still reaches them.
    QTest::mouseClick(win_->Editor(), Qt::LeftButton);
    EXPECT_TRUE(win_->Editor()->hasFocus());
}

}  // namespace
