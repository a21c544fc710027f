// A random byte stream as one client's requests to the agent on simulated ports:
// the decoder must never read past the stream, every reply must have its request's
// size, a refused batch must leave every register as it was, a recording request
// must change none, and a pulse must be put back when the agent ends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "agent/backends/SimBackend.h"
#include "agent/pulsing/PulseTrains.h"
#include "agent/recording/Recording.h"
#include "agent/serving/Protocol.h"
#include "agent/serving/Trace.h"
#include "port/LPTIO.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// What every port code reads, without side effects on the simulated ports.
std::vector<std::uint8_t> Registers(agent::Backend& backend) {
    std::vector<std::uint8_t> all;
    for (int code = 0; code < 256; ++code) {
        const std::uint16_t address = PortCodeAddress(static_cast<std::uint8_t>(code));
        std::uint8_t value = 0;
        const int e = backend.Check(address, false) == 0 ? backend.Read(address, value) : -1;
        all.push_back(e == 0 ? value : 0xEE);
    }
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    static agent::Trace trace;
    static std::string traceError;
    static const bool traced = trace.Open("/dev/null", traceError);
    std::vector<std::uint16_t> bases;
    for (std::uint16_t base : {0x3BC, 0x378, 0x278}) {
        if (data[0] & (base == 0x3BC ? 1 : base == 0x378 ? 2 : 4)) {
            bases.push_back(base);
        }
    }
    agent::SimBackend backend(bases, (data[0] & 8) != 0);
    // The stream in an exactly sized copy, so a byte read too far is caught.
    std::vector<std::uint8_t> stream(data + 1, data + size);
    std::size_t at = 0;
    while (at <= stream.size()) {
        agent::Request request;
        const agent::DecodeStatus status =
            agent::DecodeRequest(stream.data() + at, stream.size() - at, request);
        if (status != agent::DecodeStatus::Complete) {
            break;
        }
        Require(request.size == port::agent::RequestHeaderSize + 2 * std::size_t(request.count));
        Require(at + request.size <= stream.size());
        const std::vector<std::uint8_t> before = Registers(backend);
        if (request.code == port::agent::CodePulse) {
            // A refused pulse touches nothing; a taken one is put back when the agent ends.
            agent::PulseTrains trains;
            const std::vector<std::uint8_t> reply =
                trains.Take(backend, request, traced ? &trace : nullptr, 1);
            Require(reply.size() == port::agent::ReplyHeaderSize + 2 * std::size_t(request.count));
            Require(port::agent::LoadU32(reply.data()) == 0 || trains.Idle());
            trains.Abort(backend, traced ? &trace : nullptr);
            Require(Registers(backend) == before);
            at += request.size;
            continue;
        }
        if (request.code == port::agent::CodeRecord) {
            // A recording only reads; its reply is the usual one, with frames after a success.
            std::vector<std::uint8_t> reply;
            const auto recording =
                agent::Recording::Start(backend, request, traced ? &trace : nullptr, 1, reply);
            Require(reply.size() >= port::agent::ReplyHeaderSize + 2 * std::size_t(request.count));
            Require((recording != nullptr) == (port::agent::LoadU32(reply.data()) == 0));
            Require(Registers(backend) == before);
            at += request.size;
            continue;
        }
        const std::vector<std::uint8_t> reply =
            agent::Execute(backend, request, traced ? &trace : nullptr, 1);
        Require(reply.size() == port::agent::ReplyHeaderSize + 2 * std::size_t(request.count));
        if (port::agent::LoadU32(reply.data()) != 0) {
            Require(Registers(backend) == before);
        }
        at += request.size;
    }
    return 0;
}
