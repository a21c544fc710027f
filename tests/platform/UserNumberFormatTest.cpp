// The decimal separator taken from the user's settings at start. Run with
// LC_ALL=ru_RU.UTF-8, which Wine turns into a Russian Windows user.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "platform/FloatText.h"

TEST(UserNumberFormat, TheSeparatorIsTheUsersNotTheCLibrarysDefault) {
    const char* user = std::getenv("LC_ALL");
    if (user == nullptr || std::string(user).rfind("ru_RU", 0) != 0) {
        GTEST_SKIP() << "run with LC_ALL=ru_RU.UTF-8";
    }
    // Every C and C++ program starts in the "C" locale.
    EXPECT_STREQ(std::localeconv()->decimal_point, ".");
    platform::UseUserNumberFormat();
    if (std::string(std::setlocale(LC_NUMERIC, nullptr)) == "C") {
        GTEST_SKIP() << "the Russian locale is not installed (generate ru_RU.UTF-8)";
    }
    EXPECT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_EQ(platform::FormatFloatGeneral(2.5), "2,5");
    EXPECT_EQ(platform::NormalizeFloatText("12.345", 2), "12,34");
}
