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
#include "platform/RuntimeFolder.h"
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

}  // namespace

Server::Server(ServerOptions options) : options_(std::move(options)) {}

Server::~Server() {
    for (Client& c : clients_) {
        ::close(c.fd);
    }
    if (listenFd_ >= 0) {
        ::close(listenFd_);
    }
    if (spareFd_ >= 0) {
        ::close(spareFd_);
    }
    // Remove the socket file only if it is still the one we bound.
    struct stat st {};
    if (bound_ && ::lstat(options_.socketPath.c_str(), &st) == 0 && st.st_dev == socketDev_ &&
        st.st_ino == socketIno_) {
        ::unlink(options_.socketPath.c_str());
    }
    // The lock goes too, while still held, so that nothing of ours stays behind.
    if (lockHeld_) {
        ::unlink((options_.socketPath + ".lock").c_str());
    }
    if (lockFd_ >= 0) {
        ::close(lockFd_);
    }
}

void Server::RequestStop() {
    stopRequested_ = 1;
}

namespace {

// What stands at a path that should be ours, naming its owner: "a file of user
// mallory (uid 1001)".
std::string WhatIsAt(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return "gone";
    }
    const char* kind = S_ISSOCK(st.st_mode)   ? "a socket"
                       : S_ISLNK(st.st_mode)  ? "a symbolic link"
                       : S_ISDIR(st.st_mode)  ? "a folder"
                       : S_ISFIFO(st.st_mode) ? "a FIFO"
                                              : "a file";
    return std::string(kind) + " of user " + platform::DescribeUser(st.st_uid);
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

int Server::Reserve(std::string& message) {
    const std::string& path = options_.socketPath;
    // Checked before anything is made: a refused start leaves nothing behind.
    if (path.size() >= sizeof(sockaddr_un::sun_path)) {
        message = "socket path too long (" + std::to_string(path.size()) + " bytes, at most " +
                  std::to_string(sizeof(sockaddr_un::sun_path) - 1) + "): " + path;
        return 1;
    }
    // Others must not be able to swap the socket: the folder is ours (or root's)
    // and writable only by its owner, unless it is sticky like /tmp.
    const std::string folder = FolderOf(path);
    if (const std::string problem = platform::FolderProblem(folder, ::geteuid(), true);
        !problem.empty()) {
        message = "cannot use the socket folder: " + problem;
        return 1;
    }
    // The lock closes the window between "nobody listens" and our bind.
    const std::string lockPath = path + ".lock";
    for (int attempt = 0;; ++attempt) {
        lockFd_ =
            ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        struct stat held {};
        if (lockFd_ < 0 || ::fstat(lockFd_, &held) != 0 || !S_ISREG(held.st_mode) ||
            held.st_uid != ::geteuid()) {
            message = "cannot use the lock file " + lockPath + ": it is " + WhatIsAt(lockPath) +
                      "; another user holds the name (choose another --socket)";
            return 1;
        }
        if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
            message = "another agent is running on " + path;
            return 3;
        }
        // An agent that ends removes its lock file: a lock taken on a file no
        // longer at the path guards nothing, so take the one there now.
        struct stat now {};
        if (::lstat(lockPath.c_str(), &now) == 0 && SameFile(now, held)) {
            break;
        }
        ::close(lockFd_);
        lockFd_ = -1;
        if (attempt == 10) {
            message = "the lock file " + lockPath + " keeps changing";
            return 1;
        }
    }
    lockHeld_ = true;
    port::agent::AgentClient probe;
    const int e = probe.Open(path);
    if (e == EACCES) {
        message = "another user's agent runs on " + path + ": it is " + WhatIsAt(path);
        return 1;
    }
    if (e != ENOENT) {
        message = e == 0 || e == EAGAIN ? "another agent is running on " + path
                                        : "cannot use " + path + ": " + std::strerror(e);
        return e == 0 || e == EAGAIN ? 3 : 1;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode) || st.st_uid != ::geteuid()) {
            message = path + " is " + WhatIsAt(path) + ", not a socket of yours to replace";
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
    spareFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    return 0;
}

void Server::Refuse(int fd, int error) {
    // What the client already sent is read first: closing on unread bytes would
    // make its read fail with ECONNRESET before it sees why.
    std::uint8_t scratch[512];
    while (::recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
    }
    const std::vector<std::uint8_t> reply = ErrorReply(static_cast<std::uint32_t>(error));
    if (::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
        // a client already gone needs no reason
    }
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
}

bool Server::EvictIdle(long long nowMs) {
    auto idlest = clients_.end();
    for (auto it = clients_.begin(); it != clients_.end(); ++it) {
        const bool between = !it->recording && it->in.empty() && it->out.empty();
        if (between && nowMs - it->lastActiveMs >= options_.evictIdleMs &&
            (idlest == clients_.end() || it->lastActiveMs < idlest->lastActiveMs)) {
            idlest = it;
        }
    }
    if (idlest == clients_.end()) {
        return false;
    }
    // Between requests nothing is lost: the client's next request finds the
    // connection closed and connects again.
    ::close(idlest->fd);
    clients_.erase(idlest);
    return true;
}

void Server::Accept() {
    for (;;) {
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0 && (errno == EMFILE || errno == ENFILE) && spareFd_ >= 0) {
            ::close(spareFd_);
            fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) {
                Refuse(fd, EMFILE);
            }
            spareFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                return;  // nobody was waiting after all
            }
            continue;
        }
        if (fd < 0) {
            // Without a spare descriptor the waiting clients stay queued; the
            // loop looks again after its next wait, never at once.
            acceptBlocked_ = errno == EMFILE || errno == ENFILE;
            return;
        }
        acceptBlocked_ = false;
        ucred peer{};
        socklen_t size = sizeof peer;
        const bool known = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0;
        // Only our own user and root may drive the ports; others learn nothing.
        if (!known || !port::agent::PeerMayBeTrusted(peer.uid, ::geteuid())) {
            ::close(fd);
            continue;
        }
        const long long now = NowMs();
        if (clients_.size() >= options_.maxClients && !EvictIdle(now)) {
            Refuse(fd, EUSERS);
            continue;
        }
        Client c;
        c.fd = fd;
        c.pid = peer.pid;
        c.lastActiveMs = now;
        clients_.push_back(std::move(c));
        hadClient_ = true;
    }
}

void Server::EndStalled(long long nowMs) {
    for (Client& c : clients_) {
        if (!c.recording && !c.in.empty() && c.out.empty() && !c.closeAfterReply &&
            nowMs - c.requestBeganMs >= options_.stalledRequestMs) {
            c.out = ErrorReply(ETIMEDOUT);
            c.closeAfterReply = true;
            c.in.clear();
        }
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
    c.lastActiveMs = NowMs();
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
        c.requestBeganMs = NowMs();  // the next request's bytes, if any, count from now
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
    const std::size_t room = ReadRoom(c.in.size(), c.out.size() - c.outDone);
    if (room == 0) {
        return true;  // a recv of nothing would read as the client's end
    }
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
    c.lastActiveMs = NowMs();
    if (old == 0) {
        c.requestBeganMs = c.lastActiveMs;
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
        EndStalled(NowMs());
        fds.clear();
        fds.push_back({listenFd_, static_cast<short>(acceptBlocked_ ? 0 : POLLIN), 0});
        for (const Client& c : clients_) {
            short events = 0;
            if (c.recording) {
                events = static_cast<short>((c.out.size() > c.outDone ? POLLOUT : 0) |
                                            (c.recordingEnded ? 0 : POLLIN));
            } else if (!c.out.empty()) {
                events = POLLOUT;
            } else if (ReadRoom(c.in.size(), 0) != 0) {
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
        if ((fds[0].revents & POLLIN) || acceptBlocked_) {
            Accept();
        }
    }
    pulses_.Abort(backend, trace);
    return 0;
}

}  // namespace agent
