// A fixed-point numeric edit with square up/down buttons. Stepping writes the
// text only; the value follows when the text is taken over: by SetValue (the
// program's change handler does that) or when the edit loses the focus.
#pragma once

#include "widgets/SpinEditBase.h"

class FloatSpinEdit : public SpinEditBase {
    Q_OBJECT

public:
    explicit FloatSpinEdit(QWidget* parent = nullptr);

    double Value() const { return value_; }
    // Nothing happens when v equals the value; otherwise the value becomes v
    // limited to minimum ... maximum and the text is rewritten in the format.
    void SetValue(double value);

    void SetMinimum(double minimum) { minimum_ = minimum; }
    double Minimum() const { return minimum_; }
    void SetMaximum(double maximum) { maximum_ = maximum; }
    double Maximum() const { return maximum_; }
    // Rewrites the text of the value in the new format.
    void SetDecimals(int decimals);
    int Decimals() const { return decimals_; }
    void SetStep(double step) { step_ = step; }
    double Step() const { return step_; }
    void SetLargeStep(double step) { largeStep_ = step; }
    double LargeStep() const { return largeStep_; }
    // Used instead of the step while a caret the user placed stands after the
    // separator (every text the edit writes puts the caret at the start).
    void SetFractionStep(double step) { fractionStep_ = step; }
    double FractionStep() const { return fractionStep_; }

    // The value in the edit's format: fixed, the decimals, the locale's separator.
    QString Format(double value) const;
    void StepUp(double step);
    void StepDown(double step);

Q_SIGNALS:
    // Before a typed character takes effect; set key to QChar() to drop it.
    // Connect directly: the handler writes through the reference.
    void KeyPress(QChar& key);

protected:
    void Step(bool up, bool large) override;
    void CharTyped(QChar& ch) override;
    bool AcceptChar(QChar ch) const override;
    void FocusLeft() override;

private:
    double NumberInText() const;
    bool CaretInFraction() const;
    double Limited(double value) const;

    double value_ = 0;
    double minimum_ = 0;
    double maximum_ = 100;
    int decimals_ = 2;
    double step_ = 1;
    double largeStep_ = 10;
    double fractionStep_ = 1;
};
