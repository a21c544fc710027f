#include "agent/backends/SimBackend.h"

#include <algorithm>
#include <cstdio>

namespace agent {

SimBackend::SimBackend(const std::vector<std::uint16_t>& presentBases, bool loopback)
    : SimBackend(presentBases, loopback ? FindPlugWiring("norton") : nullptr, {}) {}

SimBackend::SimBackend(const std::vector<std::uint16_t>& presentBases, const PlugWiring* plug,
                       std::vector<SimFault> faults)
    : lines_(plug, std::move(faults)) {
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        ports_[i].base = StandardBases[i];
        ports_[i].present = std::find(presentBases.begin(), presentBases.end(), StandardBases[i]) !=
                            presentBases.end();
    }
}

std::string SimBackend::Describe() const {
    const std::string fitted = lines_.Describe();
    std::string text;
    for (const Port& p : ports_) {
        if (p.present) {
            char b[16];
            std::snprintf(b, sizeof b, "0x%X", p.base);
            text += std::string(b) + " = simulated port" +
                    (fitted.empty() ? "" : " (" + fitted + ")") + "\n";
        }
    }
    return text;
}

SimBackend::Port* SimBackend::Find(std::uint16_t address) {
    const std::uint16_t base = BaseOf(address);
    for (Port& p : ports_) {
        if (p.base == base && p.present) {
            return &p;
        }
    }
    return nullptr;
}

int SimBackend::Check(std::uint16_t, bool) const {
    return 0;
}

int SimBackend::Read(std::uint16_t address, std::uint8_t& value) {
    const Port* p = Find(address);
    value = 0xFF;
    if (p == nullptr) {
        return 0;
    }
    const PortRegisters lines = lines_.Read(p->data, p->control, p->status);
    switch (address - p->base) {
        case 0:
            value = lines.data;
            break;
        case 1:
            value = lines.status;
            break;
        case 2:
            value = lines.control;
            break;
        default:
            break;
    }
    return 0;
}

int SimBackend::Write(std::uint16_t address, std::uint8_t value) {
    Port* p = Find(address);
    if (p == nullptr) {
        return 0;
    }
    if (address == p->base) {
        p->data = value;
    } else if (address == p->base + 2) {
        p->control = value & 0x3F;
    }
    return 0;
}

int SimBackend::CheckStatus(std::uint16_t base) const {
    for (const Port& p : ports_) {
        if (p.base == BaseOf(base) && p.present) {
            return 0;
        }
    }
    return ENXIO;
}

int SimBackend::SetStatus(std::uint16_t base, std::uint8_t value) {
    Port* p = Find(base);
    if (p == nullptr) {
        return ENXIO;
    }
    p->status = value;
    return 0;
}

}  // namespace agent
