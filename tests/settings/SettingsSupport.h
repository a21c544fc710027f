// Shared pieces of the settings and setup-panel tests: the numeric locale a test
// runs under, and texts written with that locale's decimal separator.
#pragma once

#include <QString>
#include <clocale>
#include <string>

#include "WindowHarness.h"

// Switches LC_NUMERIC for the lifetime of the object.
class NumericLocale {
public:
    explicit NumericLocale(const char* name) {
        const char* old = std::setlocale(LC_NUMERIC, nullptr);
        saved_ = old ? old : "C";
        ok_ = std::setlocale(LC_NUMERIC, name) != nullptr;
    }
    ~NumericLocale() { std::setlocale(LC_NUMERIC, saved_.c_str()); }
    NumericLocale(const NumericLocale&) = delete;
    NumericLocale& operator=(const NumericLocale&) = delete;

    bool Ok() const { return ok_; }

private:
    std::string saved_;
    bool ok_ = false;
};

// The decimal locales every settings case runs under.
inline constexpr const char* PointLocale = "C.UTF-8";
inline constexpr const char* CommaLocale = "ru_RU.UTF-8";

// "12.35" with the separator of the present numeric locale.
QString Local(const char* text);

// Texts of the error boxes recorded so far.
QStringList ErrorTexts(const WindowHarness& h);
