#include "widgets/RangeSpinEdit.h"

#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "widgets/LocaleNumber.h"

RangeSpinEdit::RangeSpinEdit(QWidget* parent) : SpinEditBase(kButtonWidth, parent) {
    SetTypingAllowed(false);
    SetFlatButtons(true);
    WriteText(FormatFixed(0, decimals_));
}

double RangeSpinEdit::Value() {
    const QString text = Text();
    if (text.trimmed().isEmpty()) {
        if (blankAllowed_) {
            return blankValue_;
        }
        WriteText(FormatFixed(minimum_, decimals_));
        return minimum_;
    }
    double number = minimum_;
    ParseLocaleNumber(text, number);
    return number;
}

void RangeSpinEdit::SetValue(double value) {
    if (!std::isfinite(value)) {
        return;
    }
    if (keepWithinRange_ || minimum_ != maximum_) {
        value = std::max(minimum_, std::min(maximum_, value));
    }
    WriteText(FormatFixed(value, decimals_));
}

void RangeSpinEdit::SetDecimals(int decimals) {
    decimals_ = std::max(0, decimals);
}

void RangeSpinEdit::Step(bool up, bool large) {
    const double amount = large ? pageSize_ : increment_;
    SetValue(Value() + (up ? amount : -amount));
}

bool RangeSpinEdit::AcceptChar(QChar ch) const {
    if (ch.isDigit()) {
        return ch.unicode() < 128;
    }
    if (ch == DecimalSeparator()) {
        return !wholeNumbersOnly_ && SeparatorAllowed(ch);
    }
    if (ch == QChar('+') || ch == QChar('-')) {
        return SignAllowed();
    }
    return !ch.isPrint() && ch != QChar('\r');
}

void RangeSpinEdit::FocusLeft() {
    if (blankAllowed_ && Text().trimmed().isEmpty()) {
        return;
    }
    SetValue(Value());
}

// One notch (120 eighths of a degree) is one increment; with Ctrl, one page.
void RangeSpinEdit::wheelEvent(QWheelEvent* event) {
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    wheelAngle_ += event->angleDelta().y();
    const bool large = event->modifiers() & Qt::ControlModifier;
    while (std::abs(wheelAngle_) >= 120) {
        const bool up = wheelAngle_ > 0;
        wheelAngle_ += up ? -120 : 120;
        Step(up, large);
    }
    event->accept();
}
