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

// Recording: the request carries 8 bytes (count 4): the port code of a base,
// three zero bytes, the rate in Hz (u32 LE). After a success reply the
// connection carries only stream frames from the agent: a u32 kind and a u32
// value (both LE), then the kind's payload. The client ends the recording by
// shutting down its sending side; the agent answers with an End frame.
inline constexpr std::uint32_t CodeRecord = 0x220080;
inline constexpr std::uint32_t RecordRequestPairs = 4;
inline constexpr std::uint32_t MaxRecordRate = 100000;
inline constexpr std::size_t FrameHeaderSize = 8;
enum class FrameKind : std::uint32_t {
    Info = 1,     // value: length of the text that follows (the backend's description)
    Samples = 2,  // value: count of SampleSize records that follow
    End = 3,      // value: 0 when the client asked, else the errno that ended it
};
// One sample: CLOCK_MONOTONIC ns (u64 LE), then data, status, control, and how
// many of the timer's sampling times just before it went by without a sample
// (255: that many or more).
inline constexpr std::size_t SampleSize = 12;
inline constexpr std::uint32_t MaxInfoLength = 1024;

// A pulse or a train of them on a port's data lines, timed by the agent: the
// request carries 16 bytes (count 8): the port code of a base, the value, the
// mask, a zero byte, then the width in µs, the count and the period in µs (each
// u32 LE; the period 0 for a single pulse). The agent answers as soon as it has
// taken the train; the reply echoes the request. Refusals: EINVAL (a field out
// of bounds), ENXIO (a port the agent does not serve), EBUSY (too many trains
// outstanding for this client or for the agent).
inline constexpr std::uint32_t CodePulse = 0x220090;
inline constexpr std::uint32_t PulseRequestPairs = 8;
inline constexpr std::uint32_t MinPulseWidthUs = 1;
inline constexpr std::uint32_t MaxPulseWidthUs = 60000000;  // 60 s
inline constexpr std::uint32_t MaxPulseCount = 1000000;
inline constexpr std::uint32_t MinPulsePeriodUs = 100;          // trains up to 10 kHz
inline constexpr std::uint32_t MinPulseGapUs = 10;              // the lines rest between pulses
inline constexpr std::uint32_t MaxPulsePeriodUs = 3600000000u;  // 1 h
inline constexpr std::uint64_t MaxPulseTrainUs = 24ull * 3600 * 1000000;

// The ports the agent serves, as text: the request carries any n pairs, whose
// 2n bytes in the reply hold the agent's lines ("0x378 = /dev/parport0 at 0xDC00
// (ppdev)"), cut to 2n bytes and padded with NUL.
inline constexpr std::uint32_t CodeDescribe = 0x2200A0;

inline constexpr std::uint32_t MinPairs = 1;
inline constexpr std::uint32_t MaxPairs = 4096;
inline constexpr std::size_t RequestHeaderSize = 8;
inline constexpr std::size_t ReplyHeaderSize = 4;

// How long one request/reply may take before the caller gives up: a hung agent
// must not freeze the window that polls it.
inline constexpr int RequestTimeoutMs = 250;

// Who may stand on the other end of the socket, for the agent and its clients
// alike: the same user, or root. Credentials come from SO_PEERCRED.
inline bool PeerMayBeTrusted(unsigned peerUid, unsigned ourUid) {
    return peerUid == ourUid || peerUid == 0;
}

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

inline std::uint64_t LoadU64(const std::uint8_t* p) {
    return std::uint64_t(LoadU32(p)) | std::uint64_t(LoadU32(p + 4)) << 32;
}

inline void StoreU64(std::uint8_t* p, std::uint64_t v) {
    StoreU32(p, std::uint32_t(v));
    StoreU32(p + 4, std::uint32_t(v >> 32));
}

}  // namespace port::agent
