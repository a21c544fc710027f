// Decimal texts of the settings file under a decimal-point and a decimal-comma locale.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "platform/FloatText.h"

using platform::FormatFloatGeneral;
using platform::NormalizeFloatText;

namespace {

// Switches LC_NUMERIC for one test and restores the previous setting afterwards.
class NumericLocale {
public:
    explicit NumericLocale(std::initializer_list<const char*> names) {
        saved_ = std::setlocale(LC_NUMERIC, nullptr);
        for (const char* name : names) {
            if (std::setlocale(LC_NUMERIC, name) != nullptr) {
                ok_ = true;
                break;
            }
        }
    }
    ~NumericLocale() { std::setlocale(LC_NUMERIC, saved_.c_str()); }
    bool ok() const { return ok_; }

private:
    std::string saved_;
    bool ok_ = false;
};

struct Case {
    const char* text;
    int decimals;
    const char* point;  // with a decimal point
};

const Case kCases[] = {
    {"12,3456", 2, "12.35"}, {"12.3456", 2, "12.35"}, {"2.5e1", 2, "25.00"},
    {"2,5E+1", 2, "25.00"},  {"abc", 2, "0"},         {"", 2, "0"},
    {" ", 2, "0"},           {"1.2.3", 2, "0"},       {"1e", 2, "0"},
    {"0x10", 2, "0"},        {"inf", 2, "0"},         {"nan", 2, "0"},
    {"1e400", 2, "0"},       {"\t5", 2, "0"},         {"  0.5  ", 2, "0.50"},
    {"+.5", 2, "0.50"},      {"7.", 2, "7.00"},       {"2.5", 0, "2.00"},
    {"3.5", 0, "4.00"},      {"-2.5", 0, "-2.00"},    {"6", 0, "6.00"},
    {"250", 0, "250.00"},    {"-500", 0, "-500.00"},  {"-32", 0, "-32.00"},
    {"-0.001", 2, "0.00"},   {"0.125", 2, "0.12"},    {"0.375", 2, "0.38"},
    {"1", 2, "1.00"},        {"1e-400", 2, "0.00"},   {"123456789012", 2, "123456789012.00"},
    {"-0.001", 8, "0.00"},   {"-0.0001", 5, "0.00"},
};

std::string WithComma(std::string s) {
    for (char& c : s) {
        if (c == '.') {
            c = ',';
        }
    }
    return s;
}

TEST(FloatText, NormalizesUnderADecimalPoint) {
    NumericLocale locale({"C"});
    ASSERT_TRUE(locale.ok());
    for (const Case& c : kCases) {
        EXPECT_EQ(NormalizeFloatText(c.text, c.decimals), c.point)
            << '"' << c.text << "\" with " << c.decimals;
    }
}

TEST(FloatText, NormalizesUnderADecimalComma) {
    NumericLocale locale({"ru_RU.UTF-8", "ru_RU.utf8", "Russian_Russia.1251", "ru-RU"});
    if (!locale.ok()) {
        GTEST_SKIP() << "no Russian locale installed (generate ru_RU.UTF-8)";
    }
    for (const Case& c : kCases) {
        EXPECT_EQ(NormalizeFloatText(c.text, c.decimals), WithComma(c.point))
            << '"' << c.text << "\" with " << c.decimals;
    }
}

TEST(FloatText, LongTextsNeedNoFixedBuffer) {
    NumericLocale locale({"C"});
    ASSERT_TRUE(locale.ok());
    std::string fraction = "12." + std::string(2040, '0') + "9999";  // 2047 characters
    ASSERT_EQ(fraction.size(), 2047u);
    EXPECT_EQ(NormalizeFloatText(fraction, 2), "12.00");
    std::string padded = std::string(1000, ' ') + "1.5" + std::string(1044, ' ');
    EXPECT_EQ(NormalizeFloatText(padded, 2), "1.50");
    EXPECT_EQ(NormalizeFloatText(std::string(2047, '9'), 2), "0");  // beyond a double
    EXPECT_EQ(NormalizeFloatText(std::string(2047, 'x'), 2), "0");
    // A huge but finite value prints all its digits.
    std::string huge = NormalizeFloatText("1e300", 2);
    EXPECT_EQ(huge.size(), 304u);
    EXPECT_EQ(huge.substr(0, 2), "10");
    EXPECT_EQ(huge.substr(huge.size() - 3), ".00");
}

TEST(FloatText, GeneralFormUsesTheLocaleSeparator) {
    {
        NumericLocale locale({"C"});
        ASSERT_TRUE(locale.ok());
        EXPECT_EQ(FormatFloatGeneral(12.5), "12.5");
        EXPECT_EQ(FormatFloatGeneral(100), "100");
        EXPECT_EQ(FormatFloatGeneral(0.05), "0.05");
        EXPECT_EQ(FormatFloatGeneral(-32), "-32");
        EXPECT_EQ(FormatFloatGeneral(-0.0), "0");
        EXPECT_EQ(FormatFloatGeneral(0.1 + 0.2), "0.3");
        EXPECT_EQ(FormatFloatGeneral(1234567.25), "1234567.25");
        EXPECT_EQ(NormalizeFloatText(FormatFloatGeneral(1e20), 2), "100000000000000000000.00");
    }
    NumericLocale locale({"ru_RU.UTF-8", "ru_RU.utf8", "Russian_Russia.1251", "ru-RU"});
    if (!locale.ok()) {
        GTEST_SKIP() << "no Russian locale installed (generate ru_RU.UTF-8)";
    }
    EXPECT_EQ(FormatFloatGeneral(12.5), "12,5");
    EXPECT_EQ(FormatFloatGeneral(1234567.25), "1234567,25");
    EXPECT_EQ(FormatFloatGeneral(100), "100");
    EXPECT_EQ(NormalizeFloatText(FormatFloatGeneral(0.25), 2), "0,25");
}

}  // namespace
