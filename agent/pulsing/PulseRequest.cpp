#include "agent/pulsing/PulseRequest.h"

#include "agent/backends/Backend.h"
#include "port/AgentProtocol.h"
#include "port/LPTIO.h"

namespace agent {

using namespace port::agent;

void EncodePulse(const PulseShape& shape, std::uint8_t* bytes) {
    std::uint8_t code = PortCode278;
    if (shape.base == 0x3BC) {
        code = PortCode3BC;
    } else if (shape.base == 0x378) {
        code = PortCode378;
    }
    bytes[0] = code;
    bytes[1] = shape.value;
    bytes[2] = shape.mask;
    bytes[3] = 0;
    StoreU32(bytes + 4, shape.widthUs);
    StoreU32(bytes + 8, shape.count);
    StoreU32(bytes + 12, shape.periodUs);
}

std::string DecodePulse(const Request& request, PulseShape& shape) {
    if (request.count != PulseRequestPairs) {
        return "a pulse request has 8 pairs";
    }
    const std::uint8_t* b = request.pairs;
    const std::uint16_t address = PortCodeAddress(b[0]);
    if ((b[0] & 7) != 0 || BaseOf(address) != address || b[3] != 0) {
        return "not the data register of a port";
    }
    shape.base = address;
    shape.value = b[1];
    shape.mask = b[2];
    shape.widthUs = LoadU32(b + 4);
    shape.count = LoadU32(b + 8);
    shape.periodUs = LoadU32(b + 12);
    if (shape.mask == 0) {
        return "the mask names no data line";
    }
    if (shape.widthUs < MinPulseWidthUs || shape.widthUs > MaxPulseWidthUs) {
        return "width out of range";
    }
    if (shape.count < 1 || shape.count > MaxPulseCount) {
        return "count out of range";
    }
    if (shape.count == 1 && shape.periodUs == 0) {
        return {};
    }
    // The lines must rest between two pulses, and a train may not keep the agent
    // busier than 10 kHz nor the port for more than a day.
    if (shape.periodUs < MinPulsePeriodUs || shape.periodUs > MaxPulsePeriodUs ||
        std::uint64_t(shape.periodUs) < std::uint64_t(shape.widthUs) + MinPulseGapUs) {
        return "period out of range";
    }
    if (std::uint64_t(shape.periodUs) * shape.count > MaxPulseTrainUs) {
        return "train longer than a day";
    }
    return {};
}

}  // namespace agent
