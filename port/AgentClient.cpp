#include "port/AgentClient.h"

#include "platform/RuntimeFolder.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace port::agent {
namespace {

long long NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

int RemainingMs(long long deadlineNs) {
    const long long left = deadlineNs - NowNs();
    if (left <= 0) {
        return 0;
    }
    return static_cast<int>((left + 999999) / 1000000);
}

// Waits until fd is ready for events; 0, ETIMEDOUT or an errno value.
int WaitFor(int fd, short events, long long deadlineNs) {
    for (;;) {
        const int ms = RemainingMs(deadlineNs);
        if (ms == 0) {
            return ETIMEDOUT;
        }
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, ms);
        if (r > 0) {
            return 0;
        }
        if (r < 0 && errno != EINTR) {
            return errno;
        }
    }
}

}  // namespace

SocketPlace DefaultSocketPlace() {
    const platform::RuntimeFolderChoice choice =
        platform::ChooseRuntimeFolder(platform::SystemRuntimePlaces());
    SocketPlace place;
    for (const std::string& note : choice.notes) {
        place.notes += (place.notes.empty() ? "" : "; ") + note;
    }
    if (!choice.folder.empty()) {
        place.path = choice.folder + "/" + SocketName;
    }
    return place;
}

std::string DefaultSocketPath() {
    return DefaultSocketPlace().path;
}

AgentClient::~AgentClient() {
    Close();
}

void AgentClient::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = -1;
    owed_ = 0;
    broken_ = false;
}

int AgentClient::TakeFd() {
    const int fd = fd_;
    fd_ = -1;
    Close();
    return fd;
}

int AgentClient::Open(const std::string& path, int timeoutMs) {
    Close();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return ENAMETOOLONG;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return errno;
    }
    // Non-blocking so that an agent whose backlog is full cannot hold us here.
    const long long deadline = NowNs() + timeoutMs * 1000000LL;
    int error = 0;
    while (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        if (error == EINTR) {
            continue;
        }
        if (error != EAGAIN || RemainingMs(deadline) == 0) {
            break;
        }
        ::usleep(1000);
        error = 0;
    }
    if (error == 0) {
        // Only an agent of our own user, or root's, may stand in for the driver.
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
            error = errno;
        } else if (!PeerMayBeTrusted(peer.uid, ::geteuid())) {
            error = EACCES;
        }
    }
    if (error != 0) {
        ::close(fd);
        // A stale socket file means the same as none: nobody is listening.
        return error == ECONNREFUSED ? ENOENT : error;
    }
    fd_ = fd;
    return 0;
}

int AgentClient::MarkBroken(int error) {
    broken_ = true;
    owed_ = 0;
    ::shutdown(fd_, SHUT_RDWR);
    return error;
}

int AgentClient::DrainOwed(long long deadlineNs) {
    std::uint8_t scratch[512];
    while (owed_ > 0) {
        if (int e = WaitFor(fd_, POLLIN, deadlineNs); e != 0) {
            return e;
        }
        const ssize_t got = ::recv(fd_, scratch, std::min(owed_, sizeof scratch), MSG_DONTWAIT);
        if (got == 0) {
            return MarkBroken(ECONNRESET);
        }
        if (got < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                continue;
            }
            return MarkBroken(errno);
        }
        owed_ -= static_cast<std::size_t>(got);
    }
    return 0;
}

int AgentClient::SendAll(const std::uint8_t* data, std::size_t size, long long deadlineNs) {
    std::size_t sent = 0;
    while (sent < size) {
        // MSG_NOSIGNAL: an agent that went away must give EPIPE, not kill us.
        const ssize_t n = ::send(fd_, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        const int e = errno;
        if (n < 0 && (e == EAGAIN || e == EINTR)) {
            if (int w = WaitFor(fd_, POLLOUT, deadlineNs); w != 0) {
                // Half a request on the wire cannot be taken back.
                return sent == 0 ? w : MarkBroken(w);
            }
            continue;
        }
        return MarkBroken(n < 0 ? e : EPIPE);
    }
    return 0;
}

int AgentClient::Exchange(std::uint32_t code, std::uint8_t* pairs, std::uint32_t count,
                          int timeoutMs) {
    if (fd_ < 0) {
        return EBADF;
    }
    if (broken_) {
        return EPIPE;
    }
    if (count < MinPairs || count > MaxPairs) {
        return EINVAL;
    }
    const long long deadline = NowNs() + timeoutMs * 1000000LL;
    if (int e = DrainOwed(deadline); e != 0) {
        return e;
    }
    const std::size_t pairBytes = std::size_t(count) * 2;
    std::vector<std::uint8_t> buffer(RequestHeaderSize + pairBytes);
    StoreU32(buffer.data(), code);
    StoreU32(buffer.data() + 4, count);
    std::memcpy(buffer.data() + RequestHeaderSize, pairs, pairBytes);
    if (int e = SendAll(buffer.data(), buffer.size(), deadline); e != 0) {
        // An agent that refused us at once (too many clients) closed before our
        // request went out; its reason waits to be read.
        std::uint8_t reason[ReplyHeaderSize];
        if ((e == EPIPE || e == ECONNRESET) &&
            ::recv(fd_, reason, sizeof reason, MSG_DONTWAIT) == ssize_t(sizeof reason) &&
            LoadU32(reason) != 0) {
            return static_cast<int>(LoadU32(reason));
        }
        return e;
    }
    const std::size_t want = ReplyHeaderSize + pairBytes;
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ::recv(fd_, buffer.data() + got, want - got, MSG_DONTWAIT);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // The agent closes after refusing a request (too many clients, a
            // stalled or malformed request); its error code still counts.
            const int local = n == 0 ? ECONNRESET : errno;
            const std::uint32_t error = got >= ReplyHeaderSize ? LoadU32(buffer.data()) : 0;
            return MarkBroken(error != 0 ? static_cast<int>(error) : local);
        }
        if (int w = WaitFor(fd_, POLLIN, deadline); w != 0) {
            owed_ = want - got;
            return w;
        }
    }
    std::memcpy(pairs, buffer.data() + ReplyHeaderSize, pairBytes);
    return static_cast<int>(LoadU32(buffer.data()));
}

}  // namespace port::agent
