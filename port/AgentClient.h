// Client end of the port agent's socket: one connection, one request/reply at a
// time, each bounded by a deadline. Shared by the port connection's Linux layer
// and the agent's own command-line clients.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "port/AgentProtocol.h"

namespace port::agent {

// The agent's socket, LptAccessAgent in the user's private runtime folder
// (platform/RuntimeFolder.h): the program, the agent and every client agree.
struct SocketPlace {
    std::string path;   // empty when no private folder could be had
    std::string notes;  // why places were passed over, naming what was in the way
};
SocketPlace DefaultSocketPlace();
// DefaultSocketPlace().path
std::string DefaultSocketPath();

class AgentClient {
public:
    AgentClient() = default;
    ~AgentClient();
    AgentClient(const AgentClient&) = delete;
    AgentClient& operator=(const AgentClient&) = delete;

    // Connects; 0 or an errno value. Nobody listening gives ENOENT, an agent that
    // belongs to another user (and is not root) EACCES.
    int Open(const std::string& path, int timeoutMs = RequestTimeoutMs);
    // Sends one request and waits for its reply; the pairs are updated from the
    // reply. Returns 0, the agent's error code, or a local errno (ETIMEDOUT, EPIPE...).
    int Exchange(std::uint32_t code, std::uint8_t* pairs, std::uint32_t count,
                 int timeoutMs = RequestTimeoutMs);
    void Close();
    // Hands the connection over (a recording streams on it); this client is closed.
    int TakeFd();
    bool IsOpen() const { return fd_ >= 0; }
    // The agent hung up or the stream lost its framing: only a new Open helps.
    bool IsBroken() const { return broken_; }

private:
    int DrainOwed(long long deadlineNs);
    int SendAll(const std::uint8_t* data, std::size_t size, long long deadlineNs);
    int MarkBroken(int error);

    int fd_ = -1;
    // Bytes of a reply that arrived too late; read and dropped before the next
    // request so replies stay matched to their requests.
    std::size_t owed_ = 0;
    bool broken_ = false;
};

}  // namespace port::agent
