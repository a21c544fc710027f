#include "framework/Conversions.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/FloatText.h"

namespace {

std::string Utf8(const QString& s) {
    return s.toStdString();
}

// The decimal separator of the user's locale (LC_NUMERIC).
QChar LocaleSeparator() {
    const std::lconv* lc = std::localeconv();
    if (lc && lc->decimal_point && lc->decimal_point[0]) {
        return QChar::fromLatin1(lc->decimal_point[0]);
    }
    return u'.';
}

QString Message(const char* pattern, const QString& text) {
    return QString::fromUtf8(pattern).arg(text);
}

// Replaces the locale's separator by itself: a text with the other separator must fail,
// as the framework's own conversion does.
bool ParseLocaleFloat(const QString& text, double& value) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return false;
    }
    const QChar sep = LocaleSeparator();
    for (QChar c : trimmed) {
        const bool ok = c.isDigit() || c == sep || c == u'+' || c == u'-' || c == u'e' || c == u'E';
        if (!ok) {
            return false;
        }
    }
    const std::string s = Utf8(trimmed);
    const char* begin = s.c_str();
    char* end = nullptr;
    value = std::strtod(begin, &end);  // uses LC_NUMERIC's separator
    return end == begin + s.size() && std::isfinite(value);
}

}  // namespace

bool TryStrToFloat(const QString& text, double& value) {
    return ParseLocaleFloat(text, value);
}

double StrToFloat(const QString& text) {
    double value = 0;
    if (!ParseLocaleFloat(text, value)) {
        throw EConvertError(Utf8(Message("'%1' is not a valid floating point value", text)));
    }
    return value;
}

int StrToInt(const QString& text) {
    bool ok = false;
    const QString t = text.trimmed();
    int value = t.toInt(&ok, 10);
    if (!ok && t.startsWith(u'$')) {
        value = t.mid(1).toInt(&ok, 16);  // the framework also takes $hex
    }
    if (!ok) {
        throw EConvertError(Utf8(Message("'%1' is not a valid integer value", text)));
    }
    return value;
}

bool StrToBool(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(u"true", Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (t.compare(u"false", Qt::CaseInsensitive) == 0) {
        return false;
    }
    double number = 0;
    if (ParseLocaleFloat(t, number)) {
        return number != 0;
    }
    throw EConvertError(Utf8(Message("'%1' is not a valid boolean value", text)));
}

QString IntToStr(long long value) {
    return QString::number(value);
}

QString FloatToStr(double value) {
    return QString::fromStdString(platform::FormatFloatGeneral(value));
}

QString FloatToStrF(double value, int decimals) {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return QString::fromLatin1(buffer);
}

long long Round(double value) {
    // Beyond the whole numbers' range the nearer end stands in: a huge value must
    // clamp to the top of a control's range, not wrap round to its bottom.
    constexpr double TwoTo63 = 9223372036854775808.0;
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= TwoTo63) {
        return std::numeric_limits<long long>::max();
    }
    if (value < -TwoTo63) {
        return std::numeric_limits<long long>::min();
    }
    return std::llrint(value);
}
