#include "agent/serving/Protocol.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "port/LPTIO.h"

namespace agent {

using namespace port::agent;

DecodeStatus DecodeRequest(const std::uint8_t* data, std::size_t size, Request& request) {
    if (size < RequestHeaderSize) {
        return DecodeStatus::NeedMore;
    }
    const std::uint32_t count = LoadU32(data + 4);
    if (count < MinPairs || count > MaxPairs) {
        return DecodeStatus::Malformed;
    }
    const std::size_t total = RequestHeaderSize + 2 * std::size_t(count);
    if (size < total) {
        return DecodeStatus::NeedMore;
    }
    request.code = LoadU32(data);
    request.count = count;
    request.pairs = data + RequestHeaderSize;
    request.size = total;
    return DecodeStatus::Complete;
}

std::vector<std::uint8_t> ErrorReply(std::uint32_t error) {
    std::vector<std::uint8_t> reply(ReplyHeaderSize);
    StoreU32(reply.data(), error);
    return reply;
}

namespace {

int Run(Backend& backend, const Request& request, std::uint8_t* pairs, Trace* trace, int pid) {
    const bool write = request.code == CodeWrite;
    if (request.code == CodeDescribe) {
        // What the clients may ask for, so that a script can name a card by its base.
        const std::string text = backend.Describe();
        const std::size_t size = 2 * std::size_t(request.count);
        std::memset(pairs, 0, size);
        std::memcpy(pairs, text.data(), std::min(size, text.size()));
        return 0;
    }
    if (request.code == CodeSetStatus) {
        // All ports first: one absent port must not leave the batch half done.
        for (std::uint32_t i = 0; i < request.count; ++i) {
            if (int e = backend.CheckStatus(BaseOf(PortCodeAddress(pairs[2 * i]))); e != 0) {
                return e;
            }
        }
        for (std::uint32_t i = 0; i < request.count; ++i) {
            const std::uint16_t base = BaseOf(PortCodeAddress(pairs[2 * i]));
            if (int e = backend.SetStatus(base, pairs[2 * i + 1]); e != 0) {
                return e;
            }
        }
        return 0;
    }
    if (!write && request.code != CodeRead) {
        return EINVAL;
    }
    for (std::uint32_t i = 0; i < request.count; ++i) {
        if (int e = backend.Check(PortCodeAddress(pairs[2 * i]), write); e != 0) {
            return e;
        }
    }
    int error = 0;
    for (std::uint32_t i = 0; i < request.count && error == 0; ++i) {
        const std::uint16_t address = PortCodeAddress(pairs[2 * i]);
        std::uint8_t& value = pairs[2 * i + 1];
        error = write ? backend.Write(address, value) : backend.Read(address, value);
        if (error == 0 && trace != nullptr) {
            trace->Add(write, address, value, pid);
        }
    }
    return error;
}

}  // namespace

std::vector<std::uint8_t> Execute(Backend& backend, const Request& request, Trace* trace,
                                  int clientPid) {
    const std::size_t pairBytes = 2 * std::size_t(request.count);
    std::vector<std::uint8_t> reply(ReplyHeaderSize + pairBytes);
    std::uint8_t* pairs = reply.data() + ReplyHeaderSize;
    std::memcpy(pairs, request.pairs, pairBytes);
    const int error = Run(backend, request, pairs, trace, clientPid);
    if (trace != nullptr) {
        trace->Flush();
    }
    StoreU32(reply.data(), static_cast<std::uint32_t>(error));
    return reply;
}

}  // namespace agent
