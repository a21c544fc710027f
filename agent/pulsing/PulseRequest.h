// A pulse request of the agent's protocol as fields: the port, the masked value,
// the width, and for a train the count and the period. Encoded by the clients,
// decoded and checked by the agent, which trusts nothing a client sends.
#pragma once

#include <cstdint>
#include <string>

#include "agent/serving/Protocol.h"

namespace agent {

struct PulseShape {
    std::uint16_t base = 0x378;  // the port's code (0x378, 0x278, 0x3BC)
    std::uint8_t value = 0;
    std::uint8_t mask = 0xFF;
    std::uint32_t widthUs = 0;
    std::uint32_t count = 1;
    std::uint32_t periodUs = 0;  // 0: a single pulse
};

// The request's 2 * PulseRequestPairs bytes.
void EncodePulse(const PulseShape& shape, std::uint8_t* bytes);

// Fills shape from a request and checks every field against the protocol's
// bounds; empty when it may be carried out, else what is wrong.
std::string DecodePulse(const Request& request, PulseShape& shape);

}  // namespace agent
