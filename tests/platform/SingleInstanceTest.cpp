// The single-instance check: the order of the two locks against a recording
// fake, and the real locks of the platform across processes, including a first
// copy that is killed without any chance to clean up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/SingleInstance.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#endif

using platform::InstanceBaseName;
using platform::NamedLock;
using platform::NamedLockSystem;
using platform::SingleInstance;

namespace {

class RecordingLocks final : public NamedLockSystem {
public:
    bool criticalFails = false;
    bool defaultBusy = false;
    std::vector<std::string> log;

    std::unique_ptr<NamedLock> CreateOwned(const std::string& name) override {
        log.push_back("create " + name);
        if (criticalFails) {
            return nullptr;
        }
        return std::make_unique<Lock>(this, name);
    }
    std::unique_ptr<NamedLock> TryTake(const std::string& name) override {
        log.push_back("take " + name);
        if (defaultBusy) {
            return nullptr;
        }
        return std::make_unique<Lock>(this, name);
    }

private:
    struct Lock final : NamedLock {
        Lock(RecordingLocks* o, std::string n) : owner(o), name(std::move(n)) {}
        ~Lock() override { owner->log.push_back("release " + name); }
        RecordingLocks* owner;
        std::string name;
    };
};

}  // namespace

TEST(SingleInstance, BaseNameTurnsBackslashesIntoSlashes) {
    EXPECT_EQ(InstanceBaseName("Tarvik"), "Tarvik.OneInstance.");
    EXPECT_EQ(InstanceBaseName("a\\b", "c\\"), "a/bc/.OneInstance.");
}

TEST(SingleInstance, FirstCopyKeepsTheDefaultLockAndDropsTheCriticalOne) {
    RecordingLocks locks;
    {
        SingleInstance guard("T.OneInstance.", locks);
        EXPECT_FALSE(guard.AlreadyRunning());
        const std::vector<std::string> expected = {"create T.OneInstance.CriticalSection",
                                                   "take T.OneInstance.Default",
                                                   "release T.OneInstance.CriticalSection"};
        EXPECT_EQ(locks.log, expected);
    }
    EXPECT_EQ(locks.log.back(), "release T.OneInstance.Default");
}

TEST(SingleInstance, BusyLocksMeanAnotherCopyRuns) {
    RecordingLocks critical;
    critical.criticalFails = true;
    EXPECT_TRUE(SingleInstance("T.", critical).AlreadyRunning());
    // Without the critical lock the long-lived one is not even looked at.
    EXPECT_EQ(critical.log, std::vector<std::string>{"create T.CriticalSection"});

    RecordingLocks busy;
    busy.defaultBusy = true;
    EXPECT_TRUE(SingleInstance("T.", busy).AlreadyRunning());
    EXPECT_EQ(busy.log.back(), "release T.CriticalSection");
}

#ifndef _WIN32

namespace {

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/tarvik-locks-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A first copy in a child process; returns its pid once it holds the lock.
pid_t StartFirstCopy(const std::string& folder, const std::string& base) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return -1;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        auto locks = platform::MakeFileLocks(folder);
        SingleInstance first(base, *locks);
        const char state = first.AlreadyRunning() ? 'R' : 'F';
        (void)!::write(fds[1], &state, 1);
        for (;;) {
            ::pause();
        }
    }
    ::close(fds[1]);
    char state = 0;
    const bool ok = ::read(fds[0], &state, 1) == 1 && state == 'F';
    ::close(fds[0]);
    return ok ? pid : -1;
}

}  // namespace

TEST(SingleInstanceLinux, SecondCopyIsRefusedUntilTheFirstIsKilled) {
    TempFolder folder;
    auto locks = platform::MakeFileLocks(folder.path());
    const std::string base = InstanceBaseName("Tarvik");

    const pid_t first = StartFirstCopy(folder.path(), base);
    ASSERT_GT(first, 0);
    EXPECT_TRUE(SingleInstance(base, *locks).AlreadyRunning());
    // Another title is another program.
    EXPECT_FALSE(SingleInstance(InstanceBaseName("Other"), *locks).AlreadyRunning());

    // SIGKILL leaves no chance to clean up: the kernel must free the lock itself.
    ::kill(first, SIGKILL);
    ::waitpid(first, nullptr, 0);
    SingleInstance second(base, *locks);
    EXPECT_FALSE(second.AlreadyRunning());
    // And now the second copy is the one that keeps others out.
    EXPECT_TRUE(SingleInstance(base, *locks).AlreadyRunning());
}

TEST(SingleInstanceLinux, SlashesInTheNameStayInsideTheFolder) {
    TempFolder folder;
    auto locks = platform::MakeFileLocks(folder.path());
    SingleInstance a(InstanceBaseName("x\\y"), *locks);
    EXPECT_FALSE(a.AlreadyRunning());
    EXPECT_TRUE(SingleInstance(InstanceBaseName("x/y"), *locks).AlreadyRunning());
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        EXPECT_TRUE(entry.is_regular_file()) << entry.path();
    }
}

TEST(SingleInstanceLinux, RuntimeFolderMustBePrivate) {
    TempFolder folder;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";

    ::chmod(folder.path().c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1);
    EXPECT_EQ(platform::RuntimeFolder(), folder.path());
    EXPECT_FALSE(SingleInstance("T.", platform::NativeNamedLocks()).AlreadyRunning());

    // A folder others may write to is passed over for the private fallback.
    ::chmod(folder.path().c_str(), 0777);
    const std::string fallback = platform::RuntimeFolder();
    EXPECT_NE(fallback, folder.path());
    EXPECT_EQ(fallback, "/tmp/tarvik-" + std::to_string(::getuid()));

    if (old) {
        ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}

// Another local user who makes /tmp/tarvik-<uid> first (a link, a file, a folder
// of theirs) must not keep this user's program and agent out: the next place is
// taken, and the note names what was in the way.
TEST(SingleInstanceLinux, RuntimeFolderNoOtherUserCanTakeFirst) {
    TempFolder root;
    platform::RuntimePlaces places;
    places.tmp = root.path() + "/tmp";
    places.home = root.path() + "/home";
    places.uid = ::geteuid();
    std::filesystem::create_directories(places.tmp);
    const std::string shared = places.tmp + "/tarvik-" + std::to_string(places.uid);
    const std::string home = places.home + "/.cache/tarvik";

    auto choice = platform::ChooseRuntimeFolder(places);
    EXPECT_EQ(choice.folder, shared);
    struct stat st {};
    ASSERT_EQ(::lstat(shared.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ::chmod(shared.c_str(), 0777);  // ours but loosened: tightened again
    EXPECT_EQ(platform::ChooseRuntimeFolder(places).folder, shared);
    ::lstat(shared.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    ::rmdir(shared.c_str());
    std::filesystem::create_directory_symlink(root.path(), shared);
    choice = platform::ChooseRuntimeFolder(places);
    EXPECT_EQ(choice.folder, home);
    ASSERT_EQ(choice.notes.size(), 1u);
    EXPECT_EQ(choice.notes[0], shared + " is a symbolic link, not a folder");

    if (::geteuid() == 0) {
        ::unlink(shared.c_str());
        ::mkdir(shared.c_str(), 0700);
        ASSERT_EQ(::chown(shared.c_str(), 65534, 65534), 0);
        choice = platform::ChooseRuntimeFolder(places);
        EXPECT_EQ(choice.folder, home);
        ASSERT_EQ(choice.notes.size(), 1u);
        EXPECT_EQ(choice.notes[0].rfind(shared + " belongs to user ", 0), 0u) << choice.notes[0];
        EXPECT_NE(choice.notes[0].find("(uid 65534)"), std::string::npos) << choice.notes[0];
    }

    // XDG_RUNTIME_DIR naming a file is said to be one, and passed over.
    places.xdgRuntimeDir = root.path() + "/file";
    std::ofstream(places.xdgRuntimeDir) << "";
    choice = platform::ChooseRuntimeFolder(places);
    ASSERT_FALSE(choice.notes.empty());
    EXPECT_EQ(choice.notes[0],
              "XDG_RUNTIME_DIR: " + places.xdgRuntimeDir + " is a file, not a folder");
}

#else  // _WIN32

namespace {

struct Holder {
    std::string base;
    HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool running = false;
};

// Mutexes belong to threads; a thread that holds one stands in for another copy.
DWORD WINAPI HoldFirstCopy(void* arg) {
    auto* holder = static_cast<Holder*>(arg);
    SingleInstance first(holder->base);
    holder->running = first.AlreadyRunning();
    ::SetEvent(holder->ready);
    ::Sleep(INFINITE);
    return 0;
}

}  // namespace

TEST(SingleInstanceWin32, SecondCopyIsRefusedUntilTheFirstIsKilled) {
    Holder holder;
    holder.base = InstanceBaseName("TarvikTest" + std::to_string(::GetCurrentProcessId()));
    HANDLE thread = ::CreateThread(nullptr, 0, HoldFirstCopy, &holder, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(::WaitForSingleObject(holder.ready, 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(holder.running);
    EXPECT_TRUE(SingleInstance(holder.base).AlreadyRunning());

    // Killed while holding: the mutex is abandoned and the next copy may run.
    ::TerminateThread(thread, 1);
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
    EXPECT_FALSE(SingleInstance(holder.base).AlreadyRunning());
    ::CloseHandle(holder.ready);
}

#endif
