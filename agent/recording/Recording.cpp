#include "agent/recording/Recording.h"

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "port/AgentProtocol.h"
#include "port/LPTIO.h"

namespace agent {

using namespace port::agent;

namespace {

void AppendFrameHeader(std::vector<std::uint8_t>& out, FrameKind kind, std::uint32_t value) {
    const std::size_t at = out.size();
    out.resize(at + FrameHeaderSize);
    StoreU32(out.data() + at, static_cast<std::uint32_t>(kind));
    StoreU32(out.data() + at + 4, value);
}

// The base a recording request names, or 0.
std::uint16_t RequestedBase(const Request& request) {
    const std::uint8_t code = request.pairs[0];
    if ((code & 7) != 0 || request.pairs[1] != 0 || request.pairs[2] != 0 ||
        request.pairs[3] != 0) {
        return 0;
    }
    const std::uint16_t address = PortCodeAddress(code);
    return BaseOf(address) == address ? address : 0;
}

int Refuse(int error, const Request& request, std::vector<std::uint8_t>& reply) {
    reply = ErrorReply(static_cast<std::uint32_t>(error));
    reply.insert(reply.end(), request.pairs, request.pairs + 2 * std::size_t(request.count));
    return error;
}

}  // namespace

Recording::Recording(std::uint16_t base, std::uint32_t rate, int timerFd)
    : base_(base), samplesPerFrame_(std::max<std::uint32_t>(1, rate / 100)), timerFd_(timerFd) {
    held_.reserve(SampleSize * samplesPerFrame_);
}

Recording::~Recording() {
    ::close(timerFd_);
}

std::unique_ptr<Recording> Recording::Start(Backend& backend, const Request& request, Trace* trace,
                                            int clientPid, std::vector<std::uint8_t>& reply) {
    if (request.count != RecordRequestPairs) {
        Refuse(EINVAL, request, reply);
        return nullptr;
    }
    const std::uint16_t base = RequestedBase(request);
    const std::uint32_t rate = LoadU32(request.pairs + 4);
    if (base == 0 || rate == 0 || rate > MaxRecordRate) {
        Refuse(EINVAL, request, reply);
        return nullptr;
    }
    if (!backend.Serves(base)) {
        Refuse(ENXIO, request, reply);
        return nullptr;
    }
    for (std::uint16_t offset = 0; offset < 3; ++offset) {
        if (int e = backend.Check(static_cast<std::uint16_t>(base + offset), false); e != 0) {
            Refuse(e, request, reply);
            return nullptr;
        }
    }
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) {
        Refuse(errno, request, reply);
        return nullptr;
    }
    std::unique_ptr<Recording> recording(new Recording(base, rate, fd));
    // The first sample at once: it gives the recording its initial values.
    if (int e = recording->Sample(backend, trace, clientPid); e != 0) {
        Refuse(e, request, reply);
        return nullptr;
    }
    const long long period = 1000000000LL / rate;
    itimerspec timer{};
    timer.it_interval.tv_sec = period / 1000000000LL;
    timer.it_interval.tv_nsec = period % 1000000000LL;
    timer.it_value = timer.it_interval;
    if (::timerfd_settime(fd, 0, &timer, nullptr) != 0) {
        Refuse(errno, request, reply);
        return nullptr;
    }
    if (trace != nullptr) {
        trace->Flush();
    }
    Refuse(0, request, reply);
    std::string info = backend.Describe().substr(0, MaxInfoLength);
    AppendFrameHeader(reply, FrameKind::Info, static_cast<std::uint32_t>(info.size()));
    reply.insert(reply.end(), info.begin(), info.end());
    recording->TakeFrame(reply);  // the initial values travel with the reply
    return recording;
}

int Recording::Sample(Backend& backend, Trace* trace, int clientPid) {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    std::uint8_t record[SampleSize] = {};
    StoreU64(record, static_cast<std::uint64_t>(ts.tv_sec) * 1000000000ULL +
                         static_cast<std::uint64_t>(ts.tv_nsec));
    for (std::uint16_t offset = 0; offset < 3; ++offset) {
        const std::uint16_t address = static_cast<std::uint16_t>(base_ + offset);
        if (int e = backend.Read(address, record[8 + offset]); e != 0) {
            return e;
        }
        if (trace != nullptr) {
            trace->Add(false, address, record[8 + offset], clientPid);
        }
    }
    record[11] = static_cast<std::uint8_t>(std::min<std::uint64_t>(missed_, 255));
    missed_ = 0;
    held_.insert(held_.end(), record, record + SampleSize);
    ++heldCount_;
    return 0;
}

void Recording::TakeFrame(std::vector<std::uint8_t>& out) {
    if (heldCount_ == 0) {
        return;
    }
    AppendFrameHeader(out, FrameKind::Samples, heldCount_);
    out.insert(out.end(), held_.begin(), held_.end());
    held_.clear();
    heldCount_ = 0;
}

int Recording::OnTimer(Backend& backend, Trace* trace, int clientPid,
                       std::vector<std::uint8_t>& out, std::size_t unsent) {
    std::uint64_t expirations = 0;
    if (::read(timerFd_, &expirations, sizeof expirations) != sizeof expirations) {
        return 0;  // woken without an expiry
    }
    // Sampling times that went by are not made up; the next sample counts them.
    missed_ += expirations - 1;
    if (unsent + held_.size() > MaxStreamBacklog) {
        ++missed_;
        return 0;
    }
    const int error = Sample(backend, trace, clientPid);
    if (error != 0) {
        return error;
    }
    if (heldCount_ >= samplesPerFrame_) {
        TakeFrame(out);
        if (trace != nullptr) {
            trace->Flush();
        }
    }
    return 0;
}

void Recording::Finish(std::uint32_t error, std::vector<std::uint8_t>& out) {
    TakeFrame(out);
    AppendFrameHeader(out, FrameKind::End, error);
}

}  // namespace agent
