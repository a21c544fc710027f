// Our own profile-string functions for systems without them. A write never changes
// the old file in place: the new text goes to a temporary file in the same folder,
// is flushed to disk and then renamed over the old one, so a crash or a full disk
// leaves either the old or the new file.
#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/ProfileStrings.h"
#include "platform/ProfileText.h"

namespace platform {
namespace {

thread_local std::uint32_t lastError = 0;

std::uint32_t WindowsErrorOf(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case ELOOP:
            return ErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
        case EBUSY:
            return ErrorAccessDenied;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return ErrorDiskFull;
        case ENAMETOOLONG:
            return 206;  // ERROR_FILENAME_EXCED_RANGE
        case EMFILE:
        case ENFILE:
            return 4;  // ERROR_TOO_MANY_OPEN_FILES
        case ENOMEM:
            return 8;  // ERROR_NOT_ENOUGH_MEMORY
        case EIO:
            return 29;  // ERROR_WRITE_FAULT
        default:
            return 31;  // ERROR_GEN_FAILURE
    }
}

bool Fail(int error) {
    lastError = WindowsErrorOf(error);
    return false;
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    // Closes now so that a late write error is seen.
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool ReadAll(int fd, std::string& out) {
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        out.append(chunk, static_cast<std::size_t>(n));
    }
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Only a plain file counts; anything else reads as missing. Opened without
// waiting: a FIFO would block the open until some writer came.
std::optional<std::string> ReadFile(const char* path) {
    Fd fd(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    std::string text;
    if (!ReadAll(fd.get(), text)) {
        return std::nullopt;
    }
    return text;
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Removes the temporary files ".<base>.<pid>.<n>.tmp" that saves of processes no
// longer alive left behind when they were killed between writing and renaming.
void RemoveAbandonedTemps(const std::string& folder, const std::string& base) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    const std::string prefix = "." + base + ".";
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 4, 4, ".tmp") != 0) {
            continue;
        }
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
        if (pid <= 0 || end == nullptr || *end != '.' || pid == ::getpid()) {
            continue;
        }
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            ::unlinkat(::dirfd(dir), name.c_str(), 0);
        }
    }
    ::closedir(dir);
}

// Writes `text` to a new file beside `path` and renames it over `path`. `mode` and
// the owner are those of the file being replaced, if there is one.
bool ReplaceFile(const std::string& path, const std::string& text, const struct stat* old) {
    static std::atomic<unsigned> counter{0};
    std::string folder = FolderOf(path);
    std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    // First, so that however many saves were cut short at most one temp file stays.
    RemoveAbandonedTemps(folder, base);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "/." + base + "." + std::to_string(::getpid()) + "." +
               std::to_string(counter.fetch_add(1)) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return Fail(errno);
        }
    }
    if (fd < 0) {
        return Fail(EEXIST);
    }
    Fd file(fd);
    auto abandon = [&](int error) {
        ::unlink(temp.c_str());
        return Fail(error);
    };
    if (old != nullptr) {
        if (::fchmod(file.get(), old->st_mode & 07777) != 0) {
            return abandon(errno);
        }
        // Only root may hand the file back to its owner; anyone else keeps it, and
        // so does root where the file system refuses (NFS with root squashed).
        if (::geteuid() == 0 && ::fchown(file.get(), old->st_uid, old->st_gid) != 0) {
            // the save goes on: the text matters more than its owner
        }
    }
    if (!WriteAll(file.get(), text) || ::fsync(file.get()) != 0) {
        return abandon(errno);
    }
    if (!file.Close()) {
        return abandon(errno);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        return abandon(errno);
    }
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        (void)::fsync(dir.get());
    }
    return true;
}

bool HasWriteBit(const struct stat& st) {
    return (st.st_mode & 0222) != 0;
}

}  // namespace

std::uint32_t GetPrivateProfileText(const char* section, const char* key, const char* defaultValue,
                                    char* buffer, std::uint32_t size, const char* file) {
    std::optional<std::string> text;
    if (file != nullptr) {
        text = ReadFile(file);
    }
    std::optional<std::string_view> view;
    if (text) {
        view = *text;
    }
    return profile_text::Get(view, section, key, defaultValue, buffer, size);
}

bool WritePrivateProfileText(const char* section, const char* key, const char* value,
                             const char* file) {
    if (section == nullptr) {
        lastError = ErrorFileNotFound;
        return false;
    }
    if (file == nullptr || *file == '\0') {
        return Fail(ENOENT);
    }
    // Through a symbolic link the file it points at is replaced, not the link.
    std::string path = file;
    struct stat st {};
    if (::lstat(file, &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(file, resolved) == nullptr) {
            return Fail(errno);
        }
        path = resolved;
    }

    // A folder or a file without any write permission counts as read-only even for
    // root, as the read-only attribute does on Windows.
    struct stat folder {};
    if (::stat(FolderOf(path).c_str(), &folder) != 0) {
        return Fail(errno);
    }
    if (!S_ISDIR(folder.st_mode)) {
        return Fail(ENOTDIR);
    }
    if (!HasWriteBit(folder)) {
        return Fail(EACCES);
    }
    if (::access(FolderOf(path).c_str(), W_OK) != 0) {
        return Fail(errno);
    }

    std::string text;
    bool exists = false;
    errno = 0;
    Fd fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() >= 0) {
        // Opening for writing proves the file itself may be changed, which renaming
        // over it alone would not.
        if (::fstat(fd.get(), &st) != 0) {
            return Fail(errno);
        }
        if (!S_ISREG(st.st_mode) || !HasWriteBit(st)) {
            return Fail(EACCES);
        }
        if (!ReadAll(fd.get(), text)) {
            return Fail(errno);
        }
        exists = true;
    } else if (errno != ENOENT) {
        return Fail(errno);
    }

    std::string changed = profile_text::Apply(text, section, key, value);
    if (changed == text) {
        return true;  // nothing to change, and a missing file stays missing
    }
    return ReplaceFile(path, changed, exists ? &st : nullptr);
}

std::uint32_t ProfileLastError() {
    return lastError;
}

}  // namespace platform

#endif  // _WIN32
