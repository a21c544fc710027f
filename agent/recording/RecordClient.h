// Client end of a recording: asks the agent to sample a port and decodes the
// stream of frames that follows. Used by `lptwdmio record` and the benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace agent {

struct Sample {
    std::uint64_t ns = 0;  // CLOCK_MONOTONIC of the agent
    std::uint8_t data = 0, status = 0, control = 0;
    std::uint8_t missed = 0;  // sampling times that went by just before this one (255: or more)
};

class RecordClient {
public:
    enum class State {
        Streaming,
        Ended,   // the agent sent its End frame: EndError() says why
        Broken,  // the agent went away or the stream lost its framing: BrokenError()
    };

    RecordClient() = default;
    ~RecordClient();
    RecordClient(const RecordClient&) = delete;
    RecordClient& operator=(const RecordClient&) = delete;

    // Connects, asks for the recording and waits for the backend's name and the
    // first sample. 0, the agent's refusal (EINVAL, ENXIO...) or a local errno.
    int Start(const std::string& socketPath, std::uint16_t base, std::uint32_t rate);

    int Fd() const { return fd_; }
    const std::string& BackendName() const { return backend_; }
    const Sample& First() const { return first_; }

    // Takes what has arrived without waiting; decoded samples after the first are
    // appended.
    State Read(std::vector<Sample>& samples);
    // Asks the agent to end the recording; the End frame follows the last samples.
    void RequestStop();

    std::uint32_t EndError() const { return endError_; }
    int BrokenError() const { return brokenError_; }

private:
    State Decode(std::vector<Sample>& samples);
    State Break(int error);

    int fd_ = -1;
    std::vector<std::uint8_t> in_;
    std::vector<Sample> early_;  // arrived with the first sample, handed out by Read
    std::string backend_;
    Sample first_;
    bool haveFirst_ = false;
    State state_ = State::Streaming;
    std::uint32_t endError_ = 0;
    int brokenError_ = 0;
};

}  // namespace agent
