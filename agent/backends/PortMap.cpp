#include "agent/backends/PortMap.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "agent/backends/Backend.h"
#include "agent/cli/Options.h"

namespace agent {
namespace {

bool AllDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<unsigned> Decimal(const std::string& field) {
    if (!AllDigits(field) || field.size() > 6) {
        return std::nullopt;
    }
    const unsigned long value = std::stoul(field);
    return value > 0xFFFF ? std::nullopt : std::optional<unsigned>(unsigned(value));
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string FirstLine(std::string text) {
    const std::size_t end = text.find('\n');
    return end == std::string::npos ? text : text.substr(0, end);
}

// "/dev/parport3" or "parport3"; -1 otherwise.
int ParportNumber(const std::string& target) {
    std::string rest = target;
    if (rest.rfind("/dev/", 0) == 0) {
        rest = rest.substr(5);
    }
    if (rest.rfind("parport", 0) != 0) {
        return -1;
    }
    rest = rest.substr(7);
    return AllDigits(rest) && rest.size() <= 4 ? std::stoi(rest) : -1;
}

const char* const IoRangeRule =
    "a port's three registers lie between 0x100 and 0xFFFF (below 0x100 are the "
    "motherboard's own devices)";

}  // namespace

std::string Hex(unsigned value) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%X", value);
    return b;
}

bool IsPortIoRange(unsigned from, unsigned count) {
    return count > 0 && from >= FirstPortIoAddress && from + count - 1 <= 0xFFFF;
}

bool IsStandardBase(unsigned base) {
    return std::find(std::begin(StandardBases), std::end(StandardBases), base) !=
           std::end(StandardBases);
}

std::optional<std::pair<unsigned, unsigned>> ParseBaseAddrFields(const std::string& content) {
    const std::size_t end = content.find_first_of("\t \n");
    const auto base = Decimal(content.substr(0, end));
    if (!base) {
        return std::nullopt;
    }
    unsigned hi = 0;
    if (end != std::string::npos && content[end] != '\n') {
        const std::size_t from = content.find_first_not_of("\t ", end);
        const std::size_t to = content.find_first_of("\t \n", from);
        if (from != std::string::npos) {
            hi = Decimal(content.substr(from, to - from)).value_or(0);
        }
    }
    return std::make_pair(*base, hi);
}

std::vector<KernelPort> ReadKernelPorts(const std::string& procRoot, const std::string& devRoot) {
    std::vector<KernelPort> ports;
    const std::string dir = procRoot + "/sys/dev/parport";
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) {
        return ports;
    }
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        const std::string digits = name.size() > 7 ? name.substr(7) : "";
        if (name.compare(0, 7, "parport") != 0 || !AllDigits(digits) || digits.size() > 5) {
            continue;  // "default" and anything else that is not a port
        }
        const auto fields = ParseBaseAddrFields(ReadWhole(dir + "/" + name + "/base-addr"));
        if (!fields) {
            continue;
        }
        KernelPort p;
        p.number = static_cast<unsigned>(std::stoul(digits));
        p.device = devRoot + "/" + name;
        p.base = static_cast<std::uint16_t>(fields->first);
        p.baseHi = static_cast<std::uint16_t>(fields->second);
        p.modes = FirstLine(ReadWhole(dir + "/" + name + "/modes"));
        // The ECR block is three addresses; a value that would wrap or reach the
        // motherboard's devices is no ECR, whatever the driver wrote.
        if (("," + p.modes + ",").find(",ECP,") != std::string::npos && p.HasIoBase() &&
            IsPortIoRange(p.baseHi, 3)) {
            p.ecr = p.baseHi;
        }
        ports.push_back(std::move(p));
    }
    ::closedir(d);
    std::sort(ports.begin(), ports.end(),
              [](const KernelPort& a, const KernelPort& b) { return a.number < b.number; });
    return ports;
}

CodePlan AssignCodes(const std::vector<KernelPort>& ports) {
    CodePlan plan;
    auto taken = [&plan](std::uint16_t code) {
        return std::any_of(plan.served.begin(), plan.served.end(),
                           [code](const PortAssignment& a) { return a.code == code; });
    };
    std::vector<const KernelPort*> others;
    for (const KernelPort& p : ports) {
        if (!IsStandardBase(p.base)) {
            others.push_back(&p);
        } else if (taken(p.base)) {
            plan.unserved.push_back(p.device + " (" + Hex(p.base) +
                                    "): another parportN has the same base");
        } else {
            plan.served.push_back({p.base, p.device, p.base, p.ecr});
        }
    }
    for (const KernelPort* p : others) {
        const auto code = std::find_if(std::begin(FreeCodeOrder), std::end(FreeCodeOrder),
                                       [&taken](std::uint16_t c) { return !taken(c); });
        if (code == std::end(FreeCodeOrder)) {
            plan.unserved.push_back(p->device + " (" + Hex(p->base) +
                                    "): all three port codes are taken");
            continue;
        }
        plan.served.push_back({*code, p->device, p->base, p->ecr});
    }
    return plan;
}

std::optional<MapRequest> ParseMap(const std::string& text, std::string& error) {
    const std::size_t eq = text.find('=');
    const auto code = ParseHex(text.substr(0, eq), 0xFFFF);
    if (eq == std::string::npos || !code || !IsStandardBase(*code)) {
        error = "--map takes CODE=TARGET with CODE 378, 278 or 3BC: " + text;
        return std::nullopt;
    }
    MapRequest map;
    map.code = static_cast<std::uint16_t>(*code);
    std::string target = text.substr(eq + 1);
    if (target.find("parport") != std::string::npos) {
        map.parport = ParportNumber(target);
        if (map.parport < 0) {
            error = "--map: not a ppdev device (/dev/parportN): " + target;
            return std::nullopt;
        }
        return map;
    }
    const std::size_t comma = target.find(',');
    if (comma != std::string::npos) {
        const std::string ecr = target.substr(comma + 1);
        const auto value =
            ecr.rfind("ecr=", 0) == 0 ? ParseHex(ecr.substr(4), 0xFFFF) : std::optional<unsigned>();
        if (!value) {
            error = "--map: after the base only ecr=BASE may follow: " + text;
            return std::nullopt;
        }
        if (!IsPortIoRange(*value, 3)) {
            error = "--map: no ECR can be at " + Hex(*value) + ": " + IoRangeRule;
            return std::nullopt;
        }
        map.ecr = static_cast<std::uint16_t>(*value);
        target = target.substr(0, comma);
    }
    const auto base = ParseHex(target, 0xFFFF);
    if (!base) {
        error = "--map: the target is /dev/parportN or a base in hex (0xDC00): " + text;
        return std::nullopt;
    }
    if (!IsPortIoRange(*base, 3)) {
        error = "--map: no port can be at " + Hex(*base) + ": " + IoRangeRule;
        return std::nullopt;
    }
    map.base = static_cast<std::uint16_t>(*base);
    return map;
}

std::string CheckMaps(const std::vector<MapRequest>& maps) {
    for (std::size_t i = 0; i < maps.size(); ++i) {
        if ((maps[i].parport >= 0) != (maps[0].parport >= 0)) {
            return "--map: devices (/dev/parportN) and bases cannot be mixed in one agent";
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (maps[i].code == maps[j].code) {
                return "--map: " + Hex(maps[i].code) + " is mapped twice";
            }
            if (maps[i].parport == maps[j].parport &&
                (maps[i].parport >= 0 || maps[i].base == maps[j].base)) {
                return "--map: one port is mapped to two codes";
            }
        }
    }
    return {};
}

std::optional<PortAssignment> ResolveDirectMap(const MapRequest& map,
                                               const std::vector<KernelPort>& kernel, bool root,
                                               std::string& error) {
    const auto known = std::find_if(kernel.begin(), kernel.end(),
                                    [&map](const KernelPort& p) { return p.base == map.base; });
    PortAssignment a{map.code, "", map.base, 0};
    if (known != kernel.end()) {
        a.ecr = known->ecr;
    }
    if (!root && known == kernel.end() && !IsStandardBase(map.base)) {
        error = "--map " + Hex(map.code) + "=" + Hex(map.base) +
                ": the kernel reports no parallel port at " + Hex(map.base) +
                " (/proc/sys/dev/parport/*/base-addr); load parport_pc for the card, or run as "
                "root to name any base";
        return std::nullopt;
    }
    if (map.ecr) {
        if (!root && (known == kernel.end() || known->ecr != *map.ecr)) {
            error = "--map " + Hex(map.code) + "=" + Hex(map.base) + ",ecr=" + Hex(*map.ecr) +
                    ": the kernel reports " +
                    (known == kernel.end() || known->ecr == 0 ? std::string("no ECR")
                                                              : "the ECR at " + Hex(known->ecr)) +
                    " for this port; only root may name another";
            return std::nullopt;
        }
        a.ecr = *map.ecr;
    }
    return a;
}

}  // namespace agent
