#include "agent/pulsing/PulseRequest.h"

#include "agent/backends/Backend.h"
#include "port/AgentProtocol.h"
#include "port/LPTIO.h"

namespace agent {

using namespace port::agent;

void EncodePulse(const PulseSpec& spec, std::uint8_t* bytes) {
    std::uint8_t code = PortCode278;
    if (spec.base == 0x3BC) {
        code = PortCode3BC;
    } else if (spec.base == 0x378) {
        code = PortCode378;
    }
    bytes[0] = code;
    bytes[1] = spec.value;
    bytes[2] = spec.mask;
    bytes[3] = 0;
    StoreU32(bytes + 4, spec.widthUs);
    StoreU32(bytes + 8, spec.count);
    StoreU32(bytes + 12, spec.periodUs);
}

std::string DecodePulse(const Request& request, PulseSpec& spec) {
    if (request.count != PulseRequestPairs) {
        return "a pulse request has 8 pairs";
    }
    const std::uint8_t* b = request.pairs;
    const std::uint16_t address = PortCodeAddress(b[0]);
    if ((b[0] & 7) != 0 || BaseOf(address) != address || b[3] != 0) {
        return "not the data register of a port";
    }
    spec.base = address;
    spec.value = b[1];
    spec.mask = b[2];
    spec.widthUs = LoadU32(b + 4);
    spec.count = LoadU32(b + 8);
    spec.periodUs = LoadU32(b + 12);
    if (spec.mask == 0) {
        return "the mask names no data line";
    }
    if (spec.widthUs < MinPulseWidthUs || spec.widthUs > MaxPulseWidthUs) {
        return "width out of range";
    }
    if (spec.count < 1 || spec.count > MaxPulseCount) {
        return "count out of range";
    }
    if (spec.count == 1 && spec.periodUs == 0) {
        return {};
    }
    // The lines must rest between two pulses, and a train may not keep the agent
    // busier than 10 kHz nor the port for more than a day.
    if (spec.periodUs < MinPulsePeriodUs || spec.periodUs > MaxPulsePeriodUs ||
        std::uint64_t(spec.periodUs) < std::uint64_t(spec.widthUs) + MinPulseGapUs) {
        return "period out of range";
    }
    if (std::uint64_t(spec.periodUs) * spec.count > MaxPulseTrainUs) {
        return "train longer than a day";
    }
    return {};
}

}  // namespace agent
