// Numbers as the user writes them: the decimal separator is the C library's
// LC_NUMERIC one (std::localeconv), the same source as the settings file's texts.
// QApplication sets the user's locale on Unix (setlocale(LC_ALL, "")); elsewhere
// the program does that at start. Never a thousands separator.
#pragma once

#include <QChar>
#include <QString>

// The separator of the user's locale, or the one set by OverrideDecimalSeparator.
QChar DecimalSeparator();

// Replaces the locale's separator for the whole process; QChar() restores it.
// Lets a test run the comma rules on a machine with a decimal point.
void OverrideDecimalSeparator(QChar separator);

// Reads an optional sign, digits with the locale's separator and an optional
// exponent, with blanks around them. Anything else (empty, a lone sign, the
// other separator, inf/nan) is no number: returns false and leaves value alone.
bool ParseLocaleNumber(const QString& text, double& value);

// Fixed notation with exactly `decimals` decimals and the locale's separator;
// a negative zero is written without its sign.
QString FormatFixed(double value, int decimals);
