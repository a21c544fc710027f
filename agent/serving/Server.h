// The agent's socket: reserving the path (a live agent is never displaced, a
// stale socket file is replaced), listening, and serving clients one complete
// request at a time, which makes every batch atomic. Recordings are sampled and
// pulses timed on the same loop, between requests, so they never see half a batch.
#pragma once

#include <sys/types.h>

#include <csignal>
#include <string>
#include <vector>

#include "agent/backends/Backend.h"
#include "agent/pulsing/PulseTrains.h"
#include "agent/recording/Recording.h"
#include "agent/serving/Trace.h"

namespace agent {

struct ServerOptions {
    std::string socketPath;
    bool exitWhenIdle = false;
    // An agent started for a client that then never came must not linger.
    int idleGraceMs = 10000;
    // Beyond this many clients a newcomer is refused with EUSERS, unless a
    // connection idle for evictIdleMs gives up its place.
    std::size_t maxClients = 64;
    int evictIdleMs = 5000;
    // A request begun and not completed within this time is answered ETIMEDOUT.
    int stalledRequestMs = 5000;
};

class Server {
public:
    explicit Server(ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Exit-code style: 0 reserved, 1 unusable path, 3 a live agent holds it.
    int Reserve(std::string& message);
    // 0 when the socket accepts, else an errno value (message says what failed).
    int Listen(std::string& message);
    // Serves until idle (with exitWhenIdle) or until RequestStop; returns 0.
    int Run(Backend& backend, Trace* trace);

    // Safe to call from a signal handler.
    static void RequestStop();

private:
    struct Client {
        int fd = -1;
        pid_t pid = 0;
        long long lastActiveMs = 0;    // the last byte read or reply finished
        long long requestBeganMs = 0;  // when the first byte of the pending request came
        std::vector<std::uint8_t> in;
        std::vector<std::uint8_t> out;
        std::size_t outDone = 0;
        bool closeAfterReply = false;
        // Set once the client asked to record: the connection then only streams.
        std::unique_ptr<Recording> recording;
        bool recordingEnded = false;
    };

    void Accept();
    // Tells a client that can't be served why, without waiting for it, and closes it.
    static void Refuse(int fd, int error);
    // Closes the connection idle longest, if one has been idle long enough.
    bool EvictIdle(long long nowMs);
    // Answers requests stalled halfway; such a client is closed after the reply.
    void EndStalled(long long nowMs);
    bool ReadFrom(Client& c, Backend& backend, Trace* trace);
    bool Process(Client& c, Backend& backend, Trace* trace);
    bool Flush(Client& c);
    bool ServeRecording(Client& c, short ready);
    bool SampleFor(Client& c, Backend& backend, Trace* trace);
    void EndRecording(Client& c, int error);

    ServerOptions options_;
    int lockFd_ = -1;
    bool lockHeld_ = false;  // the lock file is ours to remove on the way out
    // Kept in reserve: when descriptors run out it is closed to accept, and
    // refuse, the client waiting, so the listening socket never spins the loop.
    int spareFd_ = -1;
    bool acceptBlocked_ = false;  // out of descriptors and no spare: try again next round
    int listenFd_ = -1;
    dev_t socketDev_ = 0;
    ino_t socketIno_ = 0;
    bool bound_ = false;
    std::vector<Client> clients_;
    std::vector<Client> kept_;
    bool hadClient_ = false;
    PulseTrains pulses_;

    static volatile std::sig_atomic_t stopRequested_;
};

}  // namespace agent
