#include "platform/FloatText.h"

#include <cerrno>
#include <cfenv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace platform {
namespace {

char DecimalSeparator() {
    const char* point = std::localeconv()->decimal_point;
    return (point != nullptr && *point != '\0') ? *point : '.';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The whole of `text` must be a number: spaces, sign, digits with at most one
// separator (at least one digit), an optional exponent with digits, spaces. Checked
// here because strtod would also take hex, "inf", "nan" and other blanks.
std::optional<double> ParseStrict(const std::string& text, char separator) {
    std::size_t i = 0;
    std::size_t n = text.size();
    while (i < n && text[i] == ' ') {
        ++i;
    }
    std::size_t begin = i;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    std::size_t digits = 0;
    while (i < n && IsDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == separator) {
        ++i;
        while (i < n && IsDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        std::size_t exponentDigits = 0;
        while (i < n && IsDigit(text[i])) {
            ++i;
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return std::nullopt;
        }
    }
    std::size_t end = i;
    while (i < n && text[i] == ' ') {
        ++i;
    }
    if (i != n) {
        return std::nullopt;
    }
    std::string number = text.substr(begin, end - begin);
    errno = 0;
    char* stop = nullptr;
    double value = std::strtod(number.c_str(), &stop);
    if (stop != number.c_str() + number.size() || std::isinf(value)) {
        return std::nullopt;  // too large for a double
    }
    return value;
}

// 10 to the power -decimals as the nearest double. Powers of ten up to 1e22 are exact,
// so one division rounds correctly, where some C libraries' pow() is off by an ulp.
double PowerOfTenNegated(int decimals) {
    int magnitude = decimals < 0 ? -decimals : decimals;
    if (magnitude > 22) {
        return std::pow(10.0, -decimals);
    }
    double power = 1.0;
    for (int i = 0; i < magnitude; ++i) {
        power *= 10.0;
    }
    return decimals < 0 ? power : 1.0 / power;
}

double RoundHalfEven(double value, int decimals) {
    double factor = PowerOfTenNegated(decimals);
    double scaled = value / factor;
    if (!std::isfinite(scaled)) {
        return value;  // far beyond the places asked for: nothing to round
    }
    int oldMode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    double whole = std::nearbyint(scaled);
    std::fesetround(oldMode);
    return whole * factor;
}

std::string Print(const char* format, double value) {
    int length = std::snprintf(nullptr, 0, format, value);
    if (length <= 0) {
        return "0";
    }
    std::string out(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, value);
    out.resize(static_cast<std::size_t>(length));
    return out;
}

}  // namespace

std::string NormalizeFloatText(const std::string& text, int decimals) {
    char separator = DecimalSeparator();
    std::string local = text;
    if (separator == '.' || separator == ',') {
        char other = separator == '.' ? ',' : '.';
        for (char& c : local) {
            if (c == other) {
                c = separator;
            }
        }
    }
    std::optional<double> value = ParseStrict(local, separator);
    if (!value) {
        return "0";
    }
    // Adding 0.0 turns a negative zero into zero, so "-0.001" shows as "0.00".
    double rounded = RoundHalfEven(*value, decimals) + 0.0;
    std::string out = Print("%10.2f", rounded);
    std::size_t first = out.find_first_not_of(' ');
    std::size_t last = out.find_last_not_of(' ');
    std::string shown =
        first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
    // With more than two places a tiny negative value still shows as zero: "-0.00"
    // would not read back as itself.
    if (shown.size() > 1 && shown[0] == '-' &&
        shown.find_first_not_of(std::string("0") + separator, 1) == std::string::npos) {
        shown.erase(0, 1);
    }
    return shown;
}

std::string FormatFloatGeneral(double value) {
    return Print("%.15g", value + 0.0);
}

void UseUserNumberFormat() {
    std::setlocale(LC_NUMERIC, "");
}

}  // namespace platform
