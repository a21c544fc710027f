#include "agent/serving/Trace.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace agent {

Trace::~Trace() {
    Flush();
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

int Trace::Open(const std::string& path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    return fd_ < 0 ? errno : 0;
}

void Trace::Add(bool write, std::uint16_t address, std::uint8_t value, int pid) {
    if (fd_ < 0) {
        return;
    }
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    char line[80];
    const int n = std::snprintf(line, sizeof line, "%lld %c 0x%03X 0x%02X %d\n",
                                ts.tv_sec * 1000000000LL + ts.tv_nsec, write ? 'w' : 'r', address,
                                value, pid);
    pending_.append(line, static_cast<std::size_t>(n));
}

void Trace::Flush() {
    std::size_t done = 0;
    while (fd_ >= 0 && done < pending_.size()) {
        const ssize_t n = ::write(fd_, pending_.data() + done, pending_.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // a full disk must not stop the ports being served
        }
        done += static_cast<std::size_t>(n);
    }
    pending_.clear();
}

}  // namespace agent
