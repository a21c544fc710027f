// Writes that must fail with the Windows error code and leave the file alone, and
// (on Linux) the replace-by-rename that keeps a file whole whatever happens.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ProfileFiles.h"
#include "platform/ProfileStrings.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using profile_files::ReadBytes;
using profile_files::TempFolder;
using profile_files::WriteBytes;

namespace {

const std::string kOld = "[A]\r\nx=1\r\n";

void ExpectDenied(const std::string& file) {
    EXPECT_FALSE(platform::WritePrivateProfileText("A", "x", "2", file.c_str()));
    EXPECT_EQ(platform::ProfileLastError(), platform::ErrorAccessDenied);
    // Even writing the value it already has needs a writable file.
    EXPECT_FALSE(platform::WritePrivateProfileText("A", "x", "1", file.c_str()));
    EXPECT_EQ(platform::ProfileLastError(), platform::ErrorAccessDenied);
}

#ifdef _WIN32

TEST(ProfileWriteFailure, ReadOnlyFileIsDenied) {
    if (profile_files::UnderWine()) {
        GTEST_SKIP() << "Wine lets this test (run as root) write a file with the read-only "
                        "attribute; the Linux build covers this case";
    }
    TempFolder folder;
    std::string file = folder.File("T.INI");
    WriteBytes(file, kOld);
    ASSERT_TRUE(::SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    ExpectDenied(file);
    EXPECT_EQ(ReadBytes(file), kOld);
    ::SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(ProfileWriteFailure, ReadOnlyFolderIsDenied) {
    GTEST_SKIP() << "Windows ignores the read-only attribute of a folder and Wine has no "
                    "folder permissions; the Linux build covers this case";
}

#else

// Sets or clears the immutable attribute, which stops even root. False when the
// file system or the missing capability does not allow it.
bool SetImmutable(const std::string& path, bool on) {
    std::string command =
        std::string("chattr ") + (on ? "+i" : "-i") + " '" + path + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

class ImmutableGuard {
public:
    explicit ImmutableGuard(std::string path) : path_(std::move(path)) {
        set_ = SetImmutable(path_, true);
    }
    ~ImmutableGuard() {
        if (set_) {
            SetImmutable(path_, false);
        }
    }
    bool set() const { return set_; }

private:
    std::string path_;
    bool set_ = false;
};

TEST(ProfileWriteFailure, ReadOnlyFileIsDenied) {
    TempFolder folder;
    std::string file = folder.File("T.INI");
    WriteBytes(file, kOld);
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    // Root could rename over the file, and even open it: it still counts as read-only.
    ExpectDenied(file);
    EXPECT_EQ(ReadBytes(file), kOld);
}

TEST(ProfileWriteFailure, ImmutableFileIsDenied) {
    TempFolder folder;
    std::string file = folder.File("T.INI");
    WriteBytes(file, kOld);
    ImmutableGuard guard(file);
    if (!guard.set()) {
        GTEST_SKIP() << "chattr +i is not available here";
    }
    ExpectDenied(file);
    EXPECT_EQ(ReadBytes(file), kOld);
}

TEST(ProfileWriteFailure, ReadOnlyFolderIsDenied) {
    TempFolder folder;
    std::string sub = folder.File("ro");
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    std::string existing = sub + "/OLD.INI";
    WriteBytes(existing, kOld);
    ASSERT_EQ(::chmod(sub.c_str(), 0555), 0);
    EXPECT_FALSE(platform::WritePrivateProfileText("A", "k", "v", (sub + "/T.INI").c_str()));
    EXPECT_EQ(platform::ProfileLastError(), platform::ErrorAccessDenied);
    EXPECT_FALSE(platform::WritePrivateProfileText("A", "x", "2", existing.c_str()));
    EXPECT_EQ(platform::ProfileLastError(), platform::ErrorAccessDenied);
    EXPECT_FALSE(ReadBytes(sub + "/T.INI").has_value());
    EXPECT_EQ(ReadBytes(existing), kOld);
    ::chmod(sub.c_str(), 0755);
}

TEST(ProfileWriteFailure, ImmutableFolderIsDenied) {
    TempFolder folder;
    std::string sub = folder.File("locked");
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    ImmutableGuard guard(sub);
    if (!guard.set()) {
        GTEST_SKIP() << "chattr +i is not available here";
    }
    EXPECT_FALSE(platform::WritePrivateProfileText("A", "k", "v", (sub + "/T.INI").c_str()));
    EXPECT_EQ(platform::ProfileLastError(), platform::ErrorAccessDenied);
}

TEST(ProfileWriteFailure, FileInPlaceOfFolderIsPathNotFound) {
    TempFolder folder;
    std::string plain = folder.File("plain");
    WriteBytes(plain, "x");
    EXPECT_FALSE(platform::WritePrivateProfileText("A", "k", "v", (plain + "/T.INI").c_str()));
    EXPECT_EQ(platform::ProfileLastError(), platform::ErrorPathNotFound);
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::size_t EntriesIn(const std::filesystem::path& folder) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++n;
    }
    return n;
}

TEST(ProfileReplace, OldFileIsNeverChangedInPlace) {
    TempFolder folder;
    std::string file = folder.File("T.INI");
    std::string link = folder.File("before.lnk");
    WriteBytes(file, kOld);
    ASSERT_EQ(::link(file.c_str(), link.c_str()), 0);
    ASSERT_TRUE(platform::WritePrivateProfileText("A", "x", "2", file.c_str()));
    EXPECT_EQ(ReadBytes(file), "[A]\r\nx=2\r\n");
    EXPECT_EQ(ReadBytes(link), kOld) << "the old file was overwritten instead of replaced";
    EXPECT_EQ(EntriesIn(folder.path()), 2u) << "a temporary file was left behind";
}

TEST(ProfileReplace, KeepsPermissionBits) {
    TempFolder folder;
    std::string file = folder.File("T.INI");
    WriteBytes(file, kOld);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ASSERT_TRUE(platform::WritePrivateProfileText("A", "y", "2", file.c_str()));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(ProfileReplace, UnchangedValueLeavesTheFileItself) {
    TempFolder folder;
    std::string file = folder.File("T.INI");
    WriteBytes(file, kOld);
    ino_t before = InodeOf(file);
    ASSERT_TRUE(platform::WritePrivateProfileText("a", "X", "1", file.c_str()));
    ASSERT_TRUE(platform::WritePrivateProfileText("A", "gone", nullptr, file.c_str()));
    EXPECT_EQ(InodeOf(file), before);
}

TEST(ProfileReplace, WritesThroughASymbolicLink) {
    TempFolder folder;
    std::string target = folder.File("real.ini");
    std::string link = folder.File("T.INI");
    WriteBytes(target, kOld);
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    ASSERT_TRUE(platform::WritePrivateProfileText("A", "x", "2", link.c_str()));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(target), "[A]\r\nx=2\r\n");
}

// A file-size limit makes the write of the new text fail half-way, as a full disk
// would: the old file must survive whole and nothing may be left behind.
TEST(ProfileReplace, FullDiskLeavesTheOldFile) {
    TempFolder folder;
    std::string file = folder.File("T.INI");
    WriteBytes(file, kOld);
    std::string big(1 << 16, 'z');

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool ok = platform::WritePrivateProfileText("A", "big", big.c_str(), file.c_str());
    std::uint32_t error = platform::ProfileLastError();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_FALSE(ok);
    EXPECT_EQ(error, platform::ErrorDiskFull);
    EXPECT_EQ(ReadBytes(file), kOld);
    EXPECT_EQ(EntriesIn(folder.path()), 1u) << "a temporary file was left behind";
}

#endif

}  // namespace
