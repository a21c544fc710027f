// Decoding and carrying out one request of the agent's socket protocol. Pure
// functions over byte buffers, so a fuzzer can drive them directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "agent/backends/Backend.h"
#include "agent/serving/Trace.h"
#include "port/AgentProtocol.h"

namespace agent {

enum class DecodeStatus {
    NeedMore,   // header or pairs still incomplete
    Complete,   // one request at the front of the buffer
    Malformed,  // pair count out of range: the stream cannot be resynchronised
};

struct Request {
    std::uint32_t code = 0;
    std::uint32_t count = 0;
    const std::uint8_t* pairs = nullptr;  // 2 * count bytes inside the decoded buffer
    std::size_t size = 0;                 // bytes the request occupies
};

DecodeStatus DecodeRequest(const std::uint8_t* data, std::size_t size, Request& request);

// Largest request a client can send; the agent never buffers more per client.
inline constexpr std::size_t MaxRequestSize =
    port::agent::RequestHeaderSize + 2 * std::size_t(port::agent::MaxPairs);

// How many more bytes the agent takes from a client holding `buffered` request
// bytes and `unsent` reply bytes: none while a reply is unsent, else up to one
// largest request in all, so no client makes the agent hold more than that.
inline std::size_t ReadRoom(std::size_t buffered, std::size_t unsent) {
    return unsent != 0 || buffered >= MaxRequestSize ? 0 : MaxRequestSize - buffered;
}

// Carries out a complete request on the backend and returns the reply. The batch
// is checked as a whole first, so a refused batch touches no register.
std::vector<std::uint8_t> Execute(Backend& backend, const Request& request, Trace* trace,
                                  int clientPid);

// The reply to a malformed request, sent before the connection is closed.
std::vector<std::uint8_t> ErrorReply(std::uint32_t error);

}  // namespace agent
