// The wire format between the port connection's Linux layer and the port agent
// `lptwdmio`: request = control code, pair count n (both u32 little-endian), 2n
// pair bytes; reply = error code (u32 LE, 0 = success), then the 2n pair bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace port::agent {

inline constexpr const char* SocketName = "LptAccessAgent";

// Reads and writes are the driver's two control codes; setting the simulated
// status register is the agent's own addition and is refused by real backends.
inline constexpr std::uint32_t CodeRead = 0x220050;
inline constexpr std::uint32_t CodeWrite = 0x220060;
inline constexpr std::uint32_t CodeSetStatus = 0x220070;

inline constexpr std::uint32_t MinPairs = 1;
inline constexpr std::uint32_t MaxPairs = 4096;
inline constexpr std::size_t RequestHeaderSize = 8;
inline constexpr std::size_t ReplyHeaderSize = 4;

// How long one request/reply may take before the caller gives up: a hung agent
// must not freeze the window that polls it.
inline constexpr int RequestTimeoutMs = 250;

inline std::uint32_t LoadU32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

inline void StoreU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

}  // namespace port::agent
