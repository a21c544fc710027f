#include "agent/recording/RecordClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "port/AgentClient.h"
#include "port/AgentProtocol.h"

namespace agent {

using namespace port::agent;

namespace {

long long NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

}  // namespace

RecordClient::~RecordClient() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

int RecordClient::Start(const std::string& socketPath, std::uint16_t base, std::uint32_t rate) {
    AgentClient client;
    if (int e = client.Open(socketPath); e != 0) {
        return e;
    }
    std::uint8_t request[2 * RecordRequestPairs] = {};
    request[0] = static_cast<std::uint8_t>(base == 0x3BC ? 0x10 : base == 0x378 ? 0x20 : 0x30);
    StoreU32(request + 4, rate);
    if (int e = client.Exchange(CodeRecord, request, RecordRequestPairs); e != 0) {
        return e;
    }
    fd_ = client.TakeFd();
    // The backend's name and the first sample follow the reply at once.
    const long long deadline = NowMs() + 2 * RequestTimeoutMs;
    while (!haveFirst_) {
        if (Read(early_) != State::Streaming) {
            const int ended = endError_ != 0 ? static_cast<int>(endError_) : EPROTO;
            return state_ == State::Broken ? brokenError_ : ended;
        }
        if (haveFirst_) {
            break;
        }
        const long long left = deadline - NowMs();
        pollfd p{fd_, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) == 0) {
            return ETIMEDOUT;
        }
    }
    return 0;
}

RecordClient::State RecordClient::Break(int error) {
    brokenError_ = error;
    state_ = State::Broken;
    return state_;
}

RecordClient::State RecordClient::Read(std::vector<Sample>& samples) {
    if (&samples != &early_) {
        samples.insert(samples.end(), early_.begin(), early_.end());
        early_.clear();
    }
    if (state_ != State::Streaming) {
        return state_;
    }
    std::uint8_t buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            in_.insert(in_.end(), buffer, buffer + n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        const State state = Decode(samples);
        if (state != State::Streaming) {
            return state;
        }
        if (n == 0) {
            return Break(ECONNRESET);  // gone without its End frame
        }
        return errno == EAGAIN ? State::Streaming : Break(errno);
    }
}

RecordClient::State RecordClient::Decode(std::vector<Sample>& samples) {
    std::size_t at = 0;
    while (in_.size() - at >= FrameHeaderSize) {
        const std::uint8_t* frame = in_.data() + at;
        const std::uint32_t kind = LoadU32(frame);
        const std::uint32_t value = LoadU32(frame + 4);
        std::size_t payload = 0;
        if (kind == static_cast<std::uint32_t>(FrameKind::Info) && value <= MaxInfoLength) {
            payload = value;
        } else if (kind == static_cast<std::uint32_t>(FrameKind::Samples) && value > 0 &&
                   value <= MaxRecordRate) {
            payload = SampleSize * value;
        } else if (kind != static_cast<std::uint32_t>(FrameKind::End)) {
            return Break(EPROTO);
        }
        if (in_.size() - at - FrameHeaderSize < payload) {
            break;
        }
        const std::uint8_t* body = frame + FrameHeaderSize;
        at += FrameHeaderSize + payload;
        if (kind == static_cast<std::uint32_t>(FrameKind::End)) {
            endError_ = value;
            state_ = State::Ended;
            in_.clear();
            return state_;
        }
        if (kind == static_cast<std::uint32_t>(FrameKind::Info)) {
            backend_.assign(reinterpret_cast<const char*>(body), payload);
            continue;
        }
        for (std::uint32_t i = 0; i < value; ++i) {
            const std::uint8_t* r = body + SampleSize * i;
            Sample s;
            s.ns = LoadU64(r);
            s.data = r[8];
            s.status = r[9];
            s.control = r[10];
            s.missed = r[11];
            if (haveFirst_) {
                samples.push_back(s);
            } else {
                first_ = s;
                haveFirst_ = true;
            }
        }
    }
    in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(at));
    return State::Streaming;
}

void RecordClient::RequestStop() {
    if (fd_ >= 0) {
        ::shutdown(fd_, SHUT_WR);
    }
}

}  // namespace agent
