// Named locks as flock()ed files in the user's runtime folder. The kernel drops
// a flock when the last descriptor of the file closes, so a lock of a process
// that dies, however it dies, is free again at once.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/SingleInstance.h"

namespace platform {
namespace {

class FileLock final : public NamedLock {
public:
    explicit FileLock(int fd) : fd_(fd) {}
    ~FileLock() override {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }

private:
    int fd_;
};

// '/' may appear in a lock name but not in a file name; '%' is escaped too so
// that different names never share a file.
std::string FileNameFor(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (c == '/') {
            out += "%2F";
        } else if (c == '%') {
            out += "%25";
        } else {
            out += c;
        }
    }
    return out + ".lock";
}

class FileLocks final : public NamedLockSystem {
public:
    explicit FileLocks(std::string folder) : folder_(std::move(folder)) {}

    // A file keeps existing after its owner died, so on this platform "already
    // existed" can only mean "held by somebody": both steps take the lock alike.
    std::unique_ptr<NamedLock> CreateOwned(const std::string& name) override {
        return TryTake(name);
    }

    std::unique_ptr<NamedLock> TryTake(const std::string& name) override {
        if (folder_.empty()) {
            return nullptr;
        }
        const std::string path = folder_ + "/" + FileNameFor(name);
        // O_CLOEXEC: programs we start (the help viewer) must not inherit the lock.
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            return nullptr;
        }
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<FileLock>(fd);
    }

private:
    std::string folder_;
};

}  // namespace

std::unique_ptr<NamedLockSystem> MakeFileLocks(const std::string& folder) {
    return std::make_unique<FileLocks>(folder);
}

NamedLockSystem& NativeNamedLocks() {
    // The folder is looked up on each use, so a test may point XDG_RUNTIME_DIR elsewhere.
    class RuntimeLocks final : public NamedLockSystem {
    public:
        std::unique_ptr<NamedLock> CreateOwned(const std::string& name) override {
            return FileLocks(RuntimeFolder()).CreateOwned(name);
        }
        std::unique_ptr<NamedLock> TryTake(const std::string& name) override {
            return FileLocks(RuntimeFolder()).TryTake(name);
        }
    };
    static RuntimeLocks locks;
    return locks;
}

}  // namespace platform

#endif  // !_WIN32
