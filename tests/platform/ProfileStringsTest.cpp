// The case table through real files: natively against our own layer, in the Windows
// build against the system's functions (under Wine in CI). One source, two builds.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/ProfileCases.h"
#include "platform/ProfileFiles.h"
#include "platform/ProfileStrings.h"

using profile_cases::ReadCase;
using profile_cases::WriteCase;
using profile_files::ReadBytes;
using profile_files::TempFolder;
using profile_files::UnderWine;
using profile_files::WriteBytes;

namespace {

std::string ReadBack(const std::string& file, const char* section, const char* key) {
    char buffer[4096];
    std::uint32_t n = platform::GetPrivateProfileText(section, key, profile_cases::kAbsent, buffer,
                                                      sizeof buffer, file.c_str());
    return std::string(buffer, n);
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// The spellings of the key names on the lines of `text` that name `key`.
std::vector<std::string> KeyLines(const std::string& text, const std::string& key) {
    std::vector<std::string> found;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        std::string line = text.substr(pos, end == std::string::npos ? end : end - pos);
        std::size_t eq = line.find('=');
        std::string name = line.substr(0, eq);
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        if (eq != std::string::npos && SameName(name, key)) {
            found.push_back(name);
        }
        pos = end == std::string::npos ? text.size() : end + 1;
    }
    return found;
}

class ProfileFileRead : public testing::TestWithParam<ReadCase> {};
class ProfileFileWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(ProfileFileRead, GivesTheWindowsValue) {
    const ReadCase& c = GetParam();
    if (c.windowsOnly && UnderWine()) {
        GTEST_SKIP() << "Wine differs from Windows here";
    }
    TempFolder folder;
    std::string file = folder.File("T.INI");
    if (c.file) {
        WriteBytes(file, *c.file);
    }
    std::string buffer(c.size + 8, '#');
    std::uint32_t n = platform::GetPrivateProfileText(c.section, c.key, c.defaultValue,
                                                      buffer.data(), c.size, file.c_str());
    EXPECT_EQ(n, c.expected.size());
    EXPECT_EQ(std::string(buffer.data(), n), c.expected);
    EXPECT_EQ(buffer[n], '\0');
    EXPECT_EQ(buffer[c.size], '#') << "wrote past the buffer";
}

TEST_P(ProfileFileWrite, GivesTheWindowsFile) {
    const WriteCase& c = GetParam();
    if (c.windowsOnly && UnderWine()) {
        GTEST_SKIP() << "Wine differs from Windows here";
    }
    TempFolder folder;
    std::string file = folder.File("T.INI");
    if (c.before) {
        WriteBytes(file, *c.before);
    }
    for (std::size_t i = 0; i < c.calls.size(); ++i) {
        const auto& call = c.calls[i];
        bool ok =
            platform::WritePrivateProfileText(call.section, call.key, call.value, file.c_str());
        bool last = i + 1 == c.calls.size();
        if (last && c.fails) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(platform::ProfileLastError(), platform::ErrorFileNotFound);
        } else {
            EXPECT_TRUE(ok) << "call " << i << ", error " << platform::ProfileLastError();
        }
    }
    std::optional<std::string> after = ReadBytes(file);
    if (!(c.wineRewrites && UnderWine())) {
        EXPECT_EQ(after, c.after);
    } else {
        EXPECT_EQ(after.has_value(), c.after.has_value());
    }
    for (const auto& check : c.checks) {
        EXPECT_EQ(ReadBack(file, check.section, check.key), check.expected)
            << check.section << "/" << check.key;
    }
    if (c.spelledKey != nullptr) {
        EXPECT_EQ(KeyLines(after.value_or(""), c.spelledKey),
                  std::vector<std::string>{c.spelledKey});
    }
}

std::string ReadName(const testing::TestParamInfo<ReadCase>& info) {
    return info.param.name;
}
std::string WriteName(const testing::TestParamInfo<WriteCase>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Table, ProfileFileRead, testing::ValuesIn(profile_cases::ReadCases()),
                         ReadName);
INSTANTIATE_TEST_SUITE_P(Table, ProfileFileWrite, testing::ValuesIn(profile_cases::WriteCases()),
                         WriteName);

TEST(ProfileFile, LongValueRoundTripsCutToTheBuffer) {
    TempFolder folder;
    std::string file = folder.File("T.INI");
    std::string value(3000, 'v');
    ASSERT_TRUE(platform::WritePrivateProfileText("Misc", "Long", value.c_str(), file.c_str()));
    std::vector<char> buffer(2048);
    std::uint32_t n =
        platform::GetPrivateProfileText("Misc", "Long", "Error", buffer.data(), 2048, file.c_str());
    EXPECT_EQ(n, 2047u);
    EXPECT_EQ(std::string(buffer.data()), value.substr(0, 2047));
}

TEST(ProfileFile, ListsSectionNames) {
    TempFolder folder;
    std::string file = folder.File("T.INI");
    WriteBytes(file, "[One]\r\na=1\r\n[Two]\r\nb=2\r\n");
    char buffer[64];
    std::uint32_t n =
        platform::GetPrivateProfileText(nullptr, nullptr, "", buffer, sizeof buffer, file.c_str());
    EXPECT_EQ(std::string(buffer, n + 1), std::string("One\0Two\0\0", 9));
    n = platform::GetPrivateProfileText("two", nullptr, "", buffer, sizeof buffer, file.c_str());
    EXPECT_EQ(std::string(buffer, n + 1), std::string("b\0\0", 3));
    n = platform::GetPrivateProfileText(nullptr, nullptr, "", buffer, 7, file.c_str());
    EXPECT_EQ(n, 5u);
    // Wine ends a cut list with one NUL only, Windows with two.
    std::size_t compared = UnderWine() ? 6 : 7;
    EXPECT_EQ(std::string(buffer, compared), std::string("One\0T\0\0", compared));
}

TEST(ProfileFile, MissingFolderFailsWithPathNotFound) {
    TempFolder folder;
    std::string file = folder.File("no-such-folder/T.INI");
    EXPECT_FALSE(platform::WritePrivateProfileText("A", "k", "v", file.c_str()));
    EXPECT_EQ(platform::ProfileLastError(), platform::ErrorPathNotFound);
}

#ifndef _WIN32
// A FIFO in the file's place reads as missing at once: a start-up that waited for
// someone to write into it would never end.
TEST(ProfileFile, FifoReadsAsMissingWithoutWaiting) {
    TempFolder folder;
    const std::string file = folder.File("T.INI");
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    auto read = std::async(std::launch::async, [&] { return ReadBack(file, "Misc", "PinInit"); });
    if (read.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ::close(::open(file.c_str(), O_WRONLY | O_NONBLOCK));  // lets the reader go
        FAIL() << "the read waited for a writer";
    }
    EXPECT_EQ(read.get(), profile_cases::kAbsent);
}
#endif

}  // namespace
