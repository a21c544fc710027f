#include "agent/serving/OutputFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace agent {
namespace {

std::string UserName(uid_t uid) {
    const passwd* p = ::getpwuid(uid);
    return (p != nullptr ? std::string(p->pw_name) + " " : std::string()) + "(uid " +
           std::to_string(uid) + ")";
}

bool IsDevNull(const struct stat& st) {
    return S_ISCHR(st.st_mode) && ::major(st.st_rdev) == 1 && ::minor(st.st_rdev) == 3;
}

std::string Refusal(const std::string& path, int openError) {
    switch (openError) {
        case ELOOP:
            return path + " is a symbolic link; links are not followed: name the file itself";
        case ENXIO:
            return path + " is a FIFO that no program reads yet: start its reader first";
        default:
            return "cannot write " + path + ": " + std::strerror(openError);
    }
}

}  // namespace

OutputFile OpenOutputFile(const std::string& path, bool append, bool nonBlocking, int mode) {
    OutputFile out;
    const int common = O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (append ? O_APPEND : 0);
    out.fd = ::open(path.c_str(), common | O_CREAT | O_EXCL, mode);
    out.created = out.fd >= 0;
    if (out.fd < 0 && errno == EEXIST) {
        out.fd = ::open(path.c_str(), common);
    }
    if (out.fd < 0) {
        out.error = Refusal(path, errno);
        return out;
    }
    struct stat st {};
    if (::fstat(out.fd, &st) != 0) {
        out.error = "cannot write " + path + ": " + std::strerror(errno);
    } else if (st.st_uid != ::geteuid() && !IsDevNull(st)) {
        // Someone else's file in a shared folder may be read by them, or be a trap.
        out.error = path + " belongs to user " + UserName(st.st_uid) + "; not written";
    } else if (S_ISREG(st.st_mode) && st.st_nlink > 1) {
        out.error = path + " has other hard links, which may lead to another file; not written";
    } else if (!nonBlocking && ::fcntl(out.fd, F_SETFL, append ? O_APPEND : 0) != 0) {
        out.error = "cannot write " + path + ": " + std::strerror(errno);
    }
    if (!out.error.empty()) {
        ::close(out.fd);
        out.fd = -1;
        if (out.created) {
            ::unlink(path.c_str());
            out.created = false;
        }
    }
    return out;
}

}  // namespace agent
