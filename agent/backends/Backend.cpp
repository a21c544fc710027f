#include "agent/backends/Backend.h"

namespace agent {

std::uint16_t BaseOf(std::uint16_t address) {
    for (std::uint16_t base : StandardBases) {
        if (address >= base && address < base + 8) {
            return base;
        }
    }
    return 0;
}

}  // namespace agent
