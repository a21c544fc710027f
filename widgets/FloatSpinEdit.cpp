#include "widgets/FloatSpinEdit.h"

#include <QLineEdit>
#include <algorithm>
#include <cmath>

#include "widgets/LocaleNumber.h"

FloatSpinEdit::FloatSpinEdit(QWidget* parent) : SpinEditBase(0, parent) {
    WriteText(Format(value_));
}

QString FloatSpinEdit::Format(double value) const {
    return FormatFixed(value, decimals_);
}

double FloatSpinEdit::Limited(double value) const {
    return std::max(minimum_, std::min(maximum_, value));
}

void FloatSpinEdit::SetValue(double value) {
    if (!std::isfinite(value) || value == value_) {
        return;
    }
    value_ = Limited(value);
    WriteText(Format(value_));
}

void FloatSpinEdit::SetDecimals(int decimals) {
    decimals_ = std::max(0, decimals);
    WriteText(Format(value_));
}

// A text that is no number steps from the minimum.
double FloatSpinEdit::NumberInText() const {
    double number = minimum_;
    ParseLocaleNumber(Text(), number);
    return number;
}

// Where a selection starts counts, as the platform's edits report it: a text
// selected whole (as tabbing in selects it) steps by the step.
bool FloatSpinEdit::CaretInFraction() const {
    const int separator = static_cast<int>(Text().indexOf(DecimalSeparator()));
    const QLineEdit* edit = Editor();
    const int caret = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    return separator >= 0 && caret > separator;
}

void FloatSpinEdit::StepUp(double step) {
    double number = NumberInText();
    // Decided on the text as the key found it, before any rewrite below.
    if (CaretInFraction()) {
        step = fractionStep_;
    }
    if (number < minimum_) {
        number = minimum_;
        WriteText(Format(number));
    }
    WriteText(Format(number + step >= maximum_ ? maximum_ : number + step));
}

void FloatSpinEdit::StepDown(double step) {
    double number = NumberInText();
    if (CaretInFraction()) {
        step = fractionStep_;
    }
    if (number > maximum_) {
        number = maximum_;
        WriteText(Format(number));
    }
    WriteText(Format(number - step > minimum_ ? number - step : minimum_));
}

void FloatSpinEdit::Step(bool up, bool large) {
    const double step = large ? largeStep_ : step_;
    if (up) {
        StepUp(step);
    } else {
        StepDown(step);
    }
}

void FloatSpinEdit::CharTyped(QChar& ch) {
    Q_EMIT KeyPress(ch);
    // The program rewrites the text after each key, so the separator is often there
    // already, just after the caret: typing it steps over it, and the digits that
    // follow land in the fraction as the user meant.
    const QLineEdit* edit = Editor();
    if (ch == DecimalSeparator() && TypingAllowed() && !edit->hasSelectedText()) {
        const int caret = edit->cursorPosition();
        if (caret < Text().size() && Text().at(caret) == ch) {
            Editor()->setCursorPosition(caret + 1);
            ch = QChar();
        }
    }
}

// Only what a number is made of: digits, one separator, a leading sign, and
// the control characters (Backspace, Enter, shortcuts).
bool FloatSpinEdit::AcceptChar(QChar ch) const {
    if (ch.isDigit()) {
        return ch.unicode() < 128;
    }
    if (ch == DecimalSeparator()) {
        return SeparatorAllowed(ch);
    }
    if (ch == QChar('+') || ch == QChar('-')) {
        return SignAllowed();
    }
    return !ch.isPrint();
}

// Takes the text over; a text that is no number gets the value's text back.
void FloatSpinEdit::FocusLeft() {
    double number = 0;
    if (ParseLocaleNumber(Text(), number)) {
        value_ = Limited(number);
    }
    WriteText(Format(value_));
}
