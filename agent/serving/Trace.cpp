#include "agent/serving/Trace.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "agent/serving/OutputFile.h"

namespace agent {
namespace {

long long NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

}  // namespace

Trace::~Trace() {
    Flush();
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool Trace::Open(const std::string& path, std::string& error) {
    OutputFile out = OpenOutputFile(path, /*append=*/true, /*nonBlocking=*/true, 0600);
    fd_ = out.fd;
    error = out.error;
    return fd_ >= 0;
}

void Trace::Add(bool write, std::uint16_t address, std::uint8_t value, int pid) {
    if (fd_ < 0) {
        return;
    }
    char line[80];
    const int n = std::snprintf(line, sizeof line, "%lld %c 0x%03X 0x%02X %d\n", NowNs(),
                                write ? 'w' : 'r', address, value, pid);
    pending_.append(line, static_cast<std::size_t>(n));
}

std::size_t Trace::WriteSome(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // EAGAIN, a full disk, a reader gone: never wait for it
        }
    }
    return done;
}

void Trace::KeepLineRest(const std::string& lines, std::size_t done) {
    std::size_t cut = done;
    if (done > 0 && lines[done - 1] != '\n') {
        cut = lines.find('\n', done) + 1;
        partial_ = lines.substr(done, cut - done);
    }
    const auto dropped = static_cast<std::uint64_t>(
        std::count(lines.begin() + std::ptrdiff_t(cut), lines.end(), '\n'));
    droppedSinceMark_ += dropped;
    droppedTotal_ += dropped;
}

void Trace::Flush() {
    if (fd_ < 0) {
        pending_.clear();
        return;
    }
    partial_.erase(0, WriteSome(partial_));
    if (partial_.empty() && droppedSinceMark_ != 0) {
        const std::string mark =
            std::to_string(NowNs()) + " dropped " + std::to_string(droppedSinceMark_) + "\n";
        if (const std::size_t done = WriteSome(mark); done > 0) {
            partial_ = mark.substr(done);
            droppedSinceMark_ = 0;
        }
    }
    std::size_t done = 0;
    if (partial_.empty() && droppedSinceMark_ == 0) {
        done = WriteSome(pending_);
    }
    KeepLineRest(pending_, done);
    pending_.clear();
}

}  // namespace agent
