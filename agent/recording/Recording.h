// One client's recording of a port: its data, status and control registers read
// together on a timer of the agent's own poll loop, so that a sample never falls
// inside another client's batch and the trace stays in the order of the accesses,
// and streamed back to the client in frames of about 10 ms of samples.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "agent/backends/Backend.h"
#include "agent/serving/Protocol.h"
#include "agent/serving/Trace.h"

namespace agent {

// Unsent bytes beyond which a recording skips samples rather than grow without
// bound (about 8 s at 10 kHz): a client that stops reading sees a gap, never a
// hoarding agent.
inline constexpr std::size_t MaxStreamBacklog = std::size_t(1) << 20;

class Recording {
public:
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    // Checks the request, starts the timer and takes the first sample. On success
    // `reply` holds the success reply and the Info frame naming the backend; on
    // failure it holds the error reply and the result is null.
    static std::unique_ptr<Recording> Start(Backend& backend, const Request& request, Trace* trace,
                                            int clientPid, std::vector<std::uint8_t>& reply);

    int TimerFd() const { return timerFd_; }

    // The timer fired: one sample, unless `unsent` (the client's backlog) is over
    // MaxStreamBacklog. A completed frame is appended to `out`. Returns 0, or the
    // errno of a failed register read, after which only Finish remains.
    int OnTimer(Backend& backend, Trace* trace, int clientPid, std::vector<std::uint8_t>& out,
                std::size_t unsent);

    // Appends the samples still held and the End frame.
    void Finish(std::uint32_t error, std::vector<std::uint8_t>& out);

private:
    Recording(std::uint16_t base, std::uint32_t rate, int timerFd);
    int Sample(Backend& backend, Trace* trace, int clientPid);
    void TakeFrame(std::vector<std::uint8_t>& out);

    std::uint16_t base_;
    std::uint32_t samplesPerFrame_;
    int timerFd_;
    std::vector<std::uint8_t> held_;  // samples of the frame being filled
    std::uint32_t heldCount_ = 0;
    std::uint64_t missed_ = 0;  // sampling times gone by since the last sample
};

}  // namespace agent
