// Saving the settings file when the world is hostile: a file system that really
// fills up, and a process killed at any moment of a save. The file must always be
// exactly the old or the new text, and killed saves must not litter the folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "platform/ProfileFiles.h"
#include "platform/ProfileStrings.h"
#include "platform/ProfileText.h"

using profile_files::ReadBytes;
using profile_files::TempFolder;
using profile_files::WriteBytes;

namespace {

// Files of the folder whose names start with `prefix`.
std::size_t CountStartingWith(const std::filesystem::path& folder, const std::string& prefix) {
    std::size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        n += entry.path().filename().string().rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return n;
}

std::size_t CountEntries(const std::filesystem::path& folder) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++n;
    }
    return n;
}

// A settings file of some size, so that a save takes long enough to be cut.
std::string SettingsText() {
    std::string text = "[Timer]\r\n";
    for (int i = 0; i < 400; ++i) {
        text += "TimePin" + std::to_string(i) + "=" + std::to_string(i) + ".25\r\n";
    }
    return text + "[Direction]\r\nDirectPin2=1\r\n";
}

// A small tmpfs of its own; not mounted where the test may not mount.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const std::string& where) : where_(where) {
        mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                           "size=64k,mode=0700") == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) {
            ::umount2(where_.c_str(), MNT_DETACH);
        }
    }
    bool mounted() const { return mounted_; }

private:
    std::string where_;
    bool mounted_ = false;
};

// Fills the file system up with one file; false when it would not fill.
bool Fill(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) {
        return false;
    }
    const std::string block(1024, 'f');
    bool full = false;
    for (int i = 0; i < 1024 && !full; ++i) {
        full = ::write(fd, block.data(), block.size()) < ssize_t(block.size());
    }
    for (int i = 0; i < 64 && ::write(fd, "f", 1) == 1; ++i) {
    }
    ::close(fd);
    return full;
}

}  // namespace

TEST(ProfileFault, FullFileSystemFailsAsDiskFullAndKeepsTheOldFile) {
    TempFolder folder;
    const std::string root = folder.File("small");
    std::filesystem::create_directory(root);
    SmallFileSystem fs(root);
    if (!fs.mounted()) {
        GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    }
    const std::string file = root + "/TARVIK.INI";
    const std::string old = SettingsText();
    WriteBytes(file, old);
    ASSERT_TRUE(Fill(root + "/filler"));

    // A new key makes the file longer than the space left.
    const std::string longValue(2000, 'v');
    EXPECT_FALSE(
        platform::WritePrivateProfileText("Timer", "Extra", longValue.c_str(), file.c_str()));
    EXPECT_EQ(platform::ProfileLastError(), platform::ErrorDiskFull);
    EXPECT_EQ(ReadBytes(file), old);
    EXPECT_EQ(CountEntries(root), 2u) << "a temporary file was left on the full disk";
    // Even a change of one character needs room for the whole new file.
    EXPECT_FALSE(platform::WritePrivateProfileText("Timer", "TimePin1", "9.25", file.c_str()));
    EXPECT_EQ(platform::ProfileLastError(), platform::ErrorDiskFull);
    EXPECT_EQ(ReadBytes(file), old);
    EXPECT_EQ(CountEntries(root), 2u);

    // With room again the same save goes through.
    std::filesystem::remove(root + "/filler");
    EXPECT_TRUE(
        platform::WritePrivateProfileText("Timer", "Extra", longValue.c_str(), file.c_str()));
    EXPECT_EQ(ReadBytes(file),
              platform::profile_text::Apply(old, "Timer", "Extra", longValue.c_str()));
    EXPECT_EQ(CountEntries(root), 1u);
}

TEST(ProfileFault, KilledWhileSavingLeavesTheOldOrTheNewFileAndNoLitter) {
    TempFolder folder;
    const std::string file = folder.File("TARVIK.INI");
    const std::string first = SettingsText();
    WriteBytes(file, first);
    // The saver alternates two values, so any whole file is one of these three.
    const std::string withA = platform::profile_text::Apply(first, "Timer", "TimePin7", "1.50");
    const std::string withB = platform::profile_text::Apply(first, "Timer", "TimePin7", "2.75");
    const std::set<std::string> whole{first, withA, withB};

    std::mt19937 random(12345);
    std::uniform_real_distribution<double> within(0.0, 1.0);
    std::set<std::string> seen;
    int cutMidSave = 0;
    const int rounds = 150;
    for (int round = 0; round < rounds; ++round) {
        // The saver reports each finished save, so the kill waits for the saver at
        // work however slow this machine or build is.
        int saved[2];
        ASSERT_EQ(::pipe(saved), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(saved[0]);
            for (unsigned i = 0;; ++i) {
                if (!platform::WritePrivateProfileText("Timer", "TimePin7", i % 2 ? "2.75" : "1.50",
                                                       file.c_str()) ||
                    ::write(saved[1], "s", 1) != 1) {
                    ::_exit(1);
                }
            }
        }
        ::close(saved[1]);
        // Two or three saves done (so both values get seen), then the kill lands at
        // a random point of the next save, measured by the last one.
        const int saves = 2 + round % 2;
        auto last = std::chrono::steady_clock::now();
        std::chrono::steady_clock::duration onePass{};
        bool saving = true;
        for (int n = 0; n < saves && saving; ++n) {
            char c = 0;
            saving = ::read(saved[0], &c, 1) == 1;
            const auto now = std::chrono::steady_clock::now();
            onePass = now - last;
            last = now;
        }
        std::this_thread::sleep_for(onePass * within(random));
        ::kill(child, SIGKILL);
        ::close(saved[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(saving) << "round " << round << ": the saver failed";

        const std::optional<std::string> now = ReadBytes(file);
        ASSERT_TRUE(now.has_value()) << "round " << round << ": the file is gone";
        ASSERT_EQ(whole.count(*now), 1u) << "round " << round << ": a damaged file";
        seen.insert(*now);
        // A save cut short may leave its one temporary file; more must never pile up.
        const std::size_t temps = CountStartingWith(folder.path(), ".TARVIK.INI.");
        EXPECT_LE(temps, 1u) << "round " << round;
        cutMidSave += temps == 1 ? 1 : 0;
    }
    std::printf("%d of %d kills left a save's temporary file behind\n", cutMidSave, rounds);
    EXPECT_GT(cutMidSave, 0) << "no kill ever landed inside a save";
    EXPECT_GE(seen.size(), 2u) << "the kills never caught the saver at work";
    // The next save by a living process clears what killed ones left.
    EXPECT_TRUE(platform::WritePrivateProfileText("Timer", "TimePin7", "3.00", file.c_str()));
    EXPECT_EQ(CountEntries(folder.path()), 1u);
}
