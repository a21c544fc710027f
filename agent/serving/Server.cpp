#include "agent/serving/Server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "agent/serving/Protocol.h"
#include "port/AgentClient.h"

namespace agent {

volatile std::sig_atomic_t Server::stopRequested_ = 0;

namespace {

long long NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool OwnedByUs(uid_t owner) {
    return owner == ::geteuid() || owner == 0;
}

}  // namespace

Server::Server(ServerOptions options) : options_(std::move(options)) {}

Server::~Server() {
    for (Client& c : clients_) {
        ::close(c.fd);
    }
    if (listenFd_ >= 0) {
        ::close(listenFd_);
    }
    // Remove the socket file only if it is still the one we bound.
    struct stat st {};
    if (bound_ && ::lstat(options_.socketPath.c_str(), &st) == 0 && st.st_dev == socketDev_ &&
        st.st_ino == socketIno_) {
        ::unlink(options_.socketPath.c_str());
    }
    if (lockFd_ >= 0) {
        ::close(lockFd_);
    }
}

void Server::RequestStop() {
    stopRequested_ = 1;
}

int Server::Reserve(std::string& message) {
    const std::string& path = options_.socketPath;
    const std::string folder = FolderOf(path);
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) != 0 || !S_ISDIR(dir.st_mode)) {
        message = "socket folder " + folder + " does not exist";
        return 1;
    }
    // Others must not be able to swap the socket: the folder is ours (or root's)
    // and writable only by its owner, unless it is sticky like /tmp.
    if (!OwnedByUs(dir.st_uid) ||
        ((dir.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (dir.st_mode & S_ISVTX) == 0)) {
        message = "socket folder " + folder + " is writable by other users";
        return 1;
    }
    // The lock closes the window between "nobody listens" and our bind.
    const std::string lockPath = path + ".lock";
    lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat lockStat {};
    if (lockFd_ < 0 || ::fstat(lockFd_, &lockStat) != 0 || lockStat.st_uid != ::geteuid()) {
        message = "cannot use lock file " + lockPath;
        return 1;
    }
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        message = "another agent is running on " + path;
        return 3;
    }
    port::agent::AgentClient probe;
    const int e = probe.Open(path);
    if (e != ENOENT) {
        message = e == 0 || e == EACCES || e == EAGAIN
                      ? "another agent is running on " + path
                      : "cannot use " + path + ": " + std::strerror(e);
        return e == 0 || e == EACCES || e == EAGAIN ? 3 : 1;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode) || st.st_uid != ::geteuid()) {
            message = path + " exists and is not a socket of this user";
            return 1;
        }
        ::unlink(path.c_str());  // stale: its agent is gone
    }
    return 0;
}

int Server::Listen(std::string& message) {
    const std::string& path = options_.socketPath;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        message = "socket path too long: " + path;
        return ENAMETOOLONG;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0) {
        message = std::string("socket: ") + std::strerror(errno);
        return errno;
    }
    // Created 0600 from the start, not tightened afterwards.
    const mode_t oldMask = ::umask(0177);
    const int r = ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int bindError = errno;
    ::umask(oldMask);
    if (r != 0) {
        message = "bind " + path + ": " + std::strerror(bindError);
        return bindError;
    }
    bound_ = true;
    struct stat st {};
    ::lstat(path.c_str(), &st);
    socketDev_ = st.st_dev;
    socketIno_ = st.st_ino;
    if (::listen(listenFd_, 64) != 0) {
        message = std::string("listen: ") + std::strerror(errno);
        return errno;
    }
    return 0;
}

void Server::Accept() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        ucred peer{};
        socklen_t size = sizeof peer;
        const bool known = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0;
        // Only our own user and root may drive the ports.
        if (!known || !OwnedByUs(peer.uid) || clients_.size() >= options_.maxClients) {
            ::close(fd);
            continue;
        }
        Client c;
        c.fd = fd;
        c.pid = peer.pid;
        clients_.push_back(std::move(c));
        hadClient_ = true;
    }
}

bool Server::Flush(Client& c) {
    while (c.outDone < c.out.size()) {
        const ssize_t n = ::send(c.fd, c.out.data() + c.outDone, c.out.size() - c.outDone,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            c.outDone += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n < 0 && errno == EAGAIN;  // keep for POLLOUT, or drop a gone client
    }
    c.out.clear();
    c.outDone = 0;
    return !c.closeAfterReply;
}

// Answers buffered requests one at a time; a client whose reply is still
// unsent is not read from, so no client can make the agent hoard memory.
bool Server::Process(Client& c, Backend& backend, Trace* trace) {
    while (c.out.empty() && !c.recording) {
        Request request;
        const DecodeStatus status = DecodeRequest(c.in.data(), c.in.size(), request);
        if (status == DecodeStatus::NeedMore) {
            return true;
        }
        if (status == DecodeStatus::Malformed) {
            c.out = ErrorReply(EINVAL);
            c.closeAfterReply = true;
            c.in.clear();
            return Flush(c);
        }
        if (request.code == port::agent::CodeRecord) {
            c.recording = Recording::Start(backend, request, trace, static_cast<int>(c.pid), c.out);
        } else if (request.code == port::agent::CodePulse) {
            c.out = pulses_.Take(backend, request, trace, static_cast<int>(c.pid));
        } else {
            c.out = Execute(backend, request, trace, static_cast<int>(c.pid));
        }
        c.in.erase(c.in.begin(), c.in.begin() + static_cast<std::ptrdiff_t>(request.size));
        if (c.recording) {
            c.in.clear();  // from here on the client's bytes are no requests
        }
        if (!Flush(c)) {
            return false;
        }
    }
    return true;
}

void Server::EndRecording(Client& c, int error) {
    c.recording->Finish(static_cast<std::uint32_t>(error), c.out);
    c.recordingEnded = true;
    c.closeAfterReply = true;
}

bool Server::SampleFor(Client& c, Backend& backend, Trace* trace) {
    // What was sent is dropped now and then, so a stream never piles up its past.
    if (c.outDone >= 65536) {
        c.out.erase(c.out.begin(), c.out.begin() + static_cast<std::ptrdiff_t>(c.outDone));
        c.outDone = 0;
    }
    const std::size_t before = c.out.size();
    const int error = c.recording->OnTimer(backend, trace, static_cast<int>(c.pid), c.out,
                                           c.out.size() - c.outDone);
    if (error != 0) {
        EndRecording(c, error);
    }
    return c.out.size() == before || Flush(c);
}

// A recording client sends nothing but the end of its sending side, which ends
// the recording; stray bytes are dropped.
bool Server::ServeRecording(Client& c, short ready) {
    if ((ready & POLLOUT) && !Flush(c)) {
        return false;
    }
    if (ready & POLLIN) {
        std::uint8_t scratch[256];
        const ssize_t n = ::recv(c.fd, scratch, sizeof scratch, MSG_DONTWAIT);
        if (n == 0) {
            EndRecording(c, 0);
            return Flush(c);
        }
        return n > 0 || errno == EAGAIN || errno == EINTR;
    }
    return (ready & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

bool Server::ReadFrom(Client& c, Backend& backend, Trace* trace) {
    const std::size_t room = MaxRequestSize - c.in.size();
    const std::size_t old = c.in.size();
    c.in.resize(old + room);
    const ssize_t n = ::recv(c.fd, c.in.data() + old, room, MSG_DONTWAIT);
    c.in.resize(old + (n > 0 ? static_cast<std::size_t>(n) : 0));
    if (n == 0) {
        return false;
    }
    if (n < 0) {
        return errno == EAGAIN || errno == EINTR;
    }
    return Process(c, backend, trace);
}

int Server::Run(Backend& backend, Trace* trace) {
    const long long started = NowMs();
    std::vector<pollfd> fds;
    std::vector<std::size_t> timerSlot;  // per client: its timer's place in fds, or 0
    while (stopRequested_ == 0) {
        if (options_.exitWhenIdle && clients_.empty() && pulses_.Idle() &&
            (hadClient_ || NowMs() - started >= options_.idleGraceMs)) {
            break;
        }
        fds.clear();
        fds.push_back({listenFd_, POLLIN, 0});
        for (const Client& c : clients_) {
            short events = 0;
            if (c.recording) {
                events = static_cast<short>((c.out.size() > c.outDone ? POLLOUT : 0) |
                                            (c.recordingEnded ? 0 : POLLIN));
            } else if (!c.out.empty()) {
                events = POLLOUT;
            } else if (c.in.size() < MaxRequestSize) {
                events = POLLIN;
            }
            fds.push_back({c.fd, events, 0});
        }
        timerSlot.assign(clients_.size(), 0);
        for (std::size_t i = 0; i < clients_.size(); ++i) {
            if (clients_[i].recording && !clients_[i].recordingEnded) {
                timerSlot[i] = fds.size();
                fds.push_back({clients_[i].recording->TimerFd(), POLLIN, 0});
            }
        }
        const std::size_t pulseSlot = pulses_.TimerFd() >= 0 ? fds.size() : 0;
        if (pulseSlot != 0) {
            fds.push_back({pulses_.TimerFd(), POLLIN, 0});
        }
        const int r = ::poll(fds.data(), fds.size(), 200);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        // A pulse's edges go first: their time is what a pulse is for. While the
        // agent waits for one, its recordings go on sampling.
        if (pulseSlot != 0 && (fds[pulseSlot].revents & POLLIN)) {
            pulses_.OnTimer(backend, trace, [&] {
                for (Client& c : clients_) {
                    if (c.recording && !c.recordingEnded) {
                        if (int e = c.recording->OnTimer(backend, trace, static_cast<int>(c.pid),
                                                         c.out, c.out.size() - c.outDone);
                            e != 0) {
                            EndRecording(c, e);
                        }
                    }
                }
            });
        }
        // Reused between rounds: a recording wakes this loop thousands of times a second.
        std::vector<Client>& kept = kept_;
        kept.clear();
        for (std::size_t i = 0; i < clients_.size(); ++i) {
            Client& c = clients_[i];
            const short ready = fds[i + 1].revents;
            bool keep = true;
            if (c.recording) {
                if (timerSlot[i] != 0 && (fds[timerSlot[i]].revents & POLLIN)) {
                    keep = SampleFor(c, backend, trace);
                }
                keep = keep && ServeRecording(c, ready);
            } else if (ready & POLLOUT) {
                keep = Flush(c) && Process(c, backend, trace);
            } else if (ready & POLLIN) {
                keep = ReadFrom(c, backend, trace);
            } else if (ready & (POLLHUP | POLLERR | POLLNVAL)) {
                keep = false;
            }
            if (keep) {
                kept.push_back(std::move(c));
            } else {
                ::close(c.fd);
            }
        }
        clients_.swap(kept);
        if (fds[0].revents & POLLIN) {
            Accept();
        }
    }
    pulses_.Abort(backend, trace);
    return 0;
}

}  // namespace agent
