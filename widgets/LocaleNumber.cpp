#include "widgets/LocaleNumber.h"

#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <clocale>
#include <cmath>

namespace {

QChar& SeparatorOverride() {
    static QChar separator;
    return separator;
}

}  // namespace

QChar DecimalSeparator() {
    if (!SeparatorOverride().isNull()) {
        return SeparatorOverride();
    }
    const char* point = std::localeconv()->decimal_point;
    return point && point[0] != '\0' ? QChar::fromLatin1(point[0]) : QChar('.');
}

void OverrideDecimalSeparator(QChar separator) {
    SeparatorOverride() = separator;
}

bool ParseLocaleNumber(const QString& text, double& value) {
    const QChar separator = DecimalSeparator();
    QString plain = text.trimmed();
    // Only the locale's separator counts; a '.' under a comma locale is no number.
    if (separator != QChar('.')) {
        if (plain.contains(QChar('.'))) {
            return false;
        }
        plain.replace(separator, QChar('.'));
    }
    static const QRegularExpression number(
        QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    if (!number.match(plain).hasMatch()) {
        return false;
    }
    bool ok = false;
    const double parsed = QLocale::c().toDouble(plain, &ok);
    if (!ok || !std::isfinite(parsed)) {
        return false;
    }
    value = parsed;
    return true;
}

QString FormatFixed(double value, int decimals) {
    QString text = QString::number(value, 'f', decimals < 0 ? 0 : decimals);
    if (text.startsWith(QChar('-')) && std::all_of(text.begin() + 1, text.end(), [](QChar c) {
            return c == QChar('0') || c == QChar('.');
        })) {
        text.remove(0, 1);
    }
    const QChar separator = DecimalSeparator();
    if (separator != QChar('.')) {
        text.replace(QChar('.'), separator);
    }
    return text;
}
