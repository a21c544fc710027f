// The case table against the pure text rules, with no file involved.
#include <gtest/gtest.h>

#include "platform/ProfileCases.h"
#include "platform/ProfileText.h"

namespace pt = platform::profile_text;
using profile_cases::ReadCase;
using profile_cases::WriteCase;

namespace {

std::string ReadBack(const std::string& text, const char* section, const char* key) {
    char buffer[4096];
    std::uint32_t n =
        pt::Get(std::string_view(text), section, key, profile_cases::kAbsent, buffer, 4096);
    return std::string(buffer, n);
}

class ProfileTextRead : public testing::TestWithParam<ReadCase> {};
class ProfileTextWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(ProfileTextRead, GivesTheWindowsValue) {
    const ReadCase& c = GetParam();
    std::string buffer(c.size + 8, '#');
    std::optional<std::string_view> text;
    if (c.file) {
        text = *c.file;
    }
    std::uint32_t n = pt::Get(text, c.section, c.key, c.defaultValue, buffer.data(), c.size);
    EXPECT_EQ(n, c.expected.size());
    EXPECT_EQ(std::string(buffer.data(), n), c.expected);
    EXPECT_EQ(buffer[n], '\0');
    EXPECT_EQ(buffer[c.size], '#') << "wrote past the buffer";
}

TEST_P(ProfileTextWrite, GivesTheWindowsText) {
    const WriteCase& c = GetParam();
    std::string text = c.before.value_or("");
    for (const auto& call : c.calls) {
        if (call.section != nullptr) {
            text = pt::Apply(text, call.section, call.key, call.value);
        }
    }
    EXPECT_EQ(text, c.after.value_or(""));
    for (const auto& check : c.checks) {
        EXPECT_EQ(ReadBack(text, check.section, check.key), check.expected)
            << check.section << "/" << check.key;
    }
}

std::string ReadName(const testing::TestParamInfo<ReadCase>& info) {
    return info.param.name;
}
std::string WriteName(const testing::TestParamInfo<WriteCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Table, ProfileTextRead, testing::ValuesIn(profile_cases::ReadCases()),
                         ReadName);
INSTANTIATE_TEST_SUITE_P(Table, ProfileTextWrite, testing::ValuesIn(profile_cases::WriteCases()),
                         WriteName);

TEST(ProfileText, BufferOfZeroCopiesNothing) {
    char buffer[2] = {'#', '#'};
    EXPECT_EQ(pt::Get(std::string_view("[s]\r\nk=v\r\n"), "s", "k", "d", buffer, 0), 0u);
    EXPECT_EQ(buffer[0], '#');
}

TEST(ProfileText, ListsSectionAndKeyNames) {
    const std::string text = "[One]\r\na=1\r\n;c\r\nB\r\n[ Two ]\r\nc=3\r\n";
    char buffer[64];
    std::uint32_t n = pt::Get(std::string_view(text), nullptr, "x", "d", buffer, 64);
    EXPECT_EQ(std::string(buffer, n + 1), std::string("One\0Two\0\0", 9));
    n = pt::Get(std::string_view(text), "one", nullptr, "d", buffer, 64);
    EXPECT_EQ(std::string(buffer, n + 1), std::string("a\0B\0\0", 5));
    // Cut: the last name is shortened and followed by two NULs.
    n = pt::Get(std::string_view(text), nullptr, "x", "d", buffer, 7);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(std::string(buffer, 7), std::string("One\0T\0\0", 7));
}

TEST(ProfileText, WrittenKeysReadBackAmongForeignText) {
    std::string text = "; settings\n[Other]\nTimer=x\n";
    text = pt::Apply(text, "Timer", "TimePin2", "0,25");
    text = pt::Apply(text, "Timer", "TimePin3", "12.5");
    text = pt::Apply(text, "Misc", "WinTop", "-14");
    EXPECT_EQ(text,
              "; settings\n[Other]\nTimer=x\n[Timer]\r\nTimePin2=0,25\r\nTimePin3=12.5\r\n"
              "[Misc]\r\nWinTop=-14\r\n");
    EXPECT_EQ(pt::FindValue(text, "timer", "timepin2"), "0,25");
    EXPECT_EQ(pt::FindValue(text, "Other", "Timer"), "x");
    EXPECT_EQ(pt::FindValue(text, "Misc", "Missing"), std::nullopt);
}

}  // namespace
