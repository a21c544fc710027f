// The loopback plugs people own: the wirings of the DOS-era diagnostic kits,
// each a set of links from an output pin to the input it loops back to.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace agent {

struct PlugWiring {
    std::string name;
    std::string about;                       // whose plug it is, in a few words
    std::vector<std::pair<int, int>> links;  // (output pin, input pin)
};

const std::vector<PlugWiring>& PlugWirings();

// The wiring of that name (any case), or nullptr.
const PlugWiring* FindPlugWiring(const std::string& name);

// "norton, checkit"
std::string PlugWiringNames();

// "2-15 3-13 4-12 5-10 6-11"
std::string LinksText(const PlugWiring& plug);

}  // namespace agent
