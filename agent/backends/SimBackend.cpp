#include "agent/backends/SimBackend.h"

#include <algorithm>
#include <cstdio>

namespace agent {

SimBackend::SimBackend(const std::vector<std::uint16_t>& presentBases, bool loopback)
    : loopback_(loopback) {
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        ports_[i].base = StandardBases[i];
        ports_[i].present = std::find(presentBases.begin(), presentBases.end(), StandardBases[i]) !=
                            presentBases.end();
    }
}

std::string SimBackend::Describe() const {
    std::string text;
    for (const Port& p : ports_) {
        if (p.present) {
            char b[64];
            std::snprintf(b, sizeof b, "0x%X = simulated port%s\n", p.base,
                          loopback_ ? " (loopback plug)" : "");
            text += b;
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

std::uint8_t SimBackend::StatusOf(const Port& p) const {
    if (!loopback_) {
        return p.status;
    }
    // Plug wiring: pin 2->15, 3->13, 4->12, 5->10, 6->11; BUSY is inverted.
    const std::uint8_t d = p.data;
    return static_cast<std::uint8_t>((p.status & 0x07) | (d & 0x01) << 3 | (d & 0x02) << 3 |
                                     (d & 0x04) << 3 | (d & 0x08) << 3 | ((d & 0x10) ? 0 : 0x80));
}

int SimBackend::Read(std::uint16_t address, std::uint8_t& value) {
    const Port* p = Find(address);
    value = 0xFF;
    if (p == nullptr) {
        return 0;
    }
    switch (address - p->base) {
        case 0:
            value = p->data;
            break;
        case 1:
            value = StatusOf(*p);
            break;
        case 2:
            value = static_cast<std::uint8_t>(p->control | 0xC0);
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
