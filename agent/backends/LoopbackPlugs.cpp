#include "agent/backends/LoopbackPlugs.h"

#include <algorithm>
#include <cctype>

namespace agent {

const std::vector<PlugWiring>& PlugWirings() {
    // Each loops five outputs back to the five status inputs. The first takes
    // five data lines; the second the four control lines and D0.
    static const std::vector<PlugWiring> plugs{
        {"norton",
         "Norton Diagnostics, PassMark BurnInTest: data lines to status",
         {{2, 15}, {3, 13}, {4, 12}, {5, 10}, {6, 11}}},
        {"checkit",
         "CheckIt: control lines and D0 to status",
         {{1, 13}, {2, 15}, {16, 10}, {17, 11}, {14, 12}}},
    };
    return plugs;
}

const PlugWiring* FindPlugWiring(const std::string& name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const PlugWiring& p : PlugWirings()) {
        if (p.name == lower) {
            return &p;
        }
    }
    return nullptr;
}

std::string PlugWiringNames() {
    std::string names;
    for (const PlugWiring& p : PlugWirings()) {
        names += (names.empty() ? "" : ", ") + p.name;
    }
    return names;
}

std::string LinksText(const PlugWiring& plug) {
    std::string text;
    for (const auto& [out, in] : plug.links) {
        text += (text.empty() ? "" : " ") + std::to_string(out) + "-" + std::to_string(in);
    }
    return text;
}

}  // namespace agent
