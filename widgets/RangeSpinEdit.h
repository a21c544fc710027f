// A numeric edit with spin buttons 17 pixels wide and a sunken frame, for whole
// or decimal numbers in a range, which may be left blank.
#pragma once

#include "widgets/SpinEditBase.h"

class RangeSpinEdit : public SpinEditBase {
    Q_OBJECT

public:
    static constexpr int kButtonWidth = 17;

    explicit RangeSpinEdit(QWidget* parent = nullptr);

    // Empty text: the blank value when blank is allowed, otherwise the text
    // becomes the minimum and the minimum is returned. No number: the minimum.
    double Value();
    // Limited when "keep within range" is on or minimum and maximum differ;
    // written in fixed notation with the decimals.
    void SetValue(double value);

    void SetMinimum(double minimum) { minimum_ = minimum; }
    double Minimum() const { return minimum_; }
    void SetMaximum(double maximum) { maximum_ = maximum; }
    double Maximum() const { return maximum_; }
    void SetIncrement(double increment) { increment_ = increment; }
    double Increment() const { return increment_; }
    void SetPageSize(double pageSize) { pageSize_ = pageSize; }
    double PageSize() const { return pageSize_; }
    void SetDecimals(int decimals);
    int Decimals() const { return decimals_; }
    void SetWholeNumbersOnly(bool on) { wholeNumbersOnly_ = on; }
    bool WholeNumbersOnly() const { return wholeNumbersOnly_; }
    void SetKeepWithinRange(bool on) { keepWithinRange_ = on; }
    bool KeepWithinRange() const { return keepWithinRange_; }
    void SetBlankAllowed(bool on) { blankAllowed_ = on; }
    bool BlankAllowed() const { return blankAllowed_; }
    void SetBlankValue(double value) { blankValue_ = value; }
    double BlankValue() const { return blankValue_; }

protected:
    void Step(bool up, bool large) override;
    bool AcceptChar(QChar ch) const override;
    void FocusLeft() override;
    void wheelEvent(QWheelEvent* event) override;

private:
    double minimum_ = 0;
    double maximum_ = 100;
    double increment_ = 1;
    double pageSize_ = 10;
    int decimals_ = 0;
    bool wholeNumbersOnly_ = true;
    bool keepWithinRange_ = false;
    bool blankAllowed_ = false;
    double blankValue_ = 0;
    int wheelAngle_ = 0;
};
