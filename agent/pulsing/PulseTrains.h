// Pulses on the ports' data lines, timed inside the agent: a train sets the
// masked bits, holds them for the width on a timer of the agent's own poll loop
// (a timerfd on absolute CLOCK_MONOTONIC deadlines), then puts back the bits it
// changed, leaving the others as they are then, and repeats on its period.
//
// Trains whose masks share a line of a port run one after the other, in the order
// they came, so two trigger codes never merge into a third; others run side by
// side. A train runs to its end even when its client disconnects: the client
// was answered when the train was taken, and a script that sends its last
// trigger and exits must not cut it short or leave a line high. When the agent
// itself is stopped, a pulse under way is put back at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "agent/backends/Backend.h"
#include "agent/pulsing/PulseRequest.h"
#include "agent/serving/Protocol.h"
#include "agent/serving/Trace.h"

namespace agent {

struct PulseLimits {
    std::size_t perClient = 16;  // trains taken and not yet ended, per client process
    std::size_t total = 256;
};

class PulseTrains {
public:
    // How long before an edge the timer wakes the agent, which then waits on the
    // clock: more than the kernel takes to wake it, most of the time, on a VM.
    static constexpr std::uint64_t SpinLeadNs = 500000;
    // What runs meanwhile (a recording's sample) ends this long before the edge.
    static constexpr std::uint64_t MeanwhileMarginNs = 30000;

    explicit PulseTrains(PulseLimits limits = {});
    ~PulseTrains();
    PulseTrains(const PulseTrains&) = delete;
    PulseTrains& operator=(const PulseTrains&) = delete;

    // Checks a pulse request and takes the train, whose first pulse starts at
    // once unless an earlier train holds one of its lines. Returns the reply.
    std::vector<std::uint8_t> Take(Backend& backend, const Request& request, Trace* trace,
                                   int clientPid);

    // Readable when a deadline has come; -1 while no train is pending.
    int TimerFd() const { return trains_.empty() ? -1 : timerFd_; }
    // The timer fired: the edges that are due, waiting for the next one if it is
    // close. `meanwhile` is called while waiting; it may read registers (sample a
    // recording), never write them.
    using Meanwhile = std::function<void()>;
    void OnTimer(Backend& backend, Trace* trace, const Meanwhile& meanwhile = {});
    bool Idle() const { return trains_.empty(); }

    // The agent ends: pulses under way are put back now, the rest are dropped.
    void Abort(Backend& backend, Trace* trace);

private:
    struct Train {
        PulseShape shape;
        int pid = 0;
        bool started = false;
        bool high = false;           // within a pulse: its changed bits are set
        std::uint8_t changed = 0;    // the bits this pulse changed
        std::uint8_t restore = 0;    // their levels before it
        std::uint32_t done = 0;      // pulses completed
        std::uint64_t originNs = 0;  // when the first pulse was due
        std::uint64_t dueNs = 0;     // the next set (low) or put back (high)
    };

    bool Blocked(std::size_t index) const;
    void Advance(Backend& backend, Trace* trace, const Meanwhile* meanwhile);
    int Edge(Backend& backend, Trace* trace, Train& t, std::uint64_t atNs,
             const Meanwhile* meanwhile);
    void ArmTimer();

    PulseLimits limits_;
    int timerFd_ = -1;
    std::vector<Train> trains_;  // in the order they came
};

}  // namespace agent
