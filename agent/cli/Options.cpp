#include "agent/cli/Options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/RuntimeFolder.h"
#include "port/AgentClient.h"
#include "port/LPTIO.h"

namespace agent {

const char* const UsageText =
    "Usage:\n"
    "  lptwdmio serve [--backend auto|ppdev|direct|sim] [--ports 378,278,3BC] [--loopback]\n"
    "                 [--trace FILE] [--socket PATH] [--exit-when-idle] [--detach]\n"
    "                 [--map CODE=TARGET]... [--plug NAME] [--sim-fault FAULT]...\n"
    "  lptwdmio list [--json]                               the ports, what stands in the way\n"
    "                                                       of each and the fix (exit 2: none)\n"
    "  lptwdmio selftest [--port 378] [--plug NAME|list] [--socket PATH]\n"
    "                                                       every line through a loopback plug\n"
    "  lptwdmio read ADDR [--socket PATH]\n"
    "  lptwdmio write ADDR VALUE [--socket PATH]\n"
    "  lptwdmio set-status ADDR VALUE [--socket PATH]      (sim backend only)\n"
    "  lptwdmio record [--port 378] [--rate HZ] [--seconds S] --out FILE.vcd|- [--socket PATH]\n"
    "  lptwdmio pulse [--port 378] --value V [--mask M] --width W [--count N --period P]\n"
    "                 [--socket PATH]                       a pulse timed by the agent\n"
    "  lptwdmio pulses FILE.vcd [--pins LIST] [--csv]       the pulses in a recording\n"
    "  lptwdmio --help | --version\n"
    "\n"
    "The Linux port access agent of Tarvik: the only program that touches the parallel\n"
    "ports. Clients talk to it over a Unix socket, LptAccessAgent in the user's private\n"
    "runtime folder: $XDG_RUNTIME_DIR, else /tmp/tarvik-<uid> (mode 0700), else, when\n"
    "another user holds that name, ~/.cache/tarvik. It serves only its own user and root.\n"
    "\n"
    "serve options:\n"
    "  --backend auto     ppdev if the kernel reports a port; else port instructions if\n"
    "                     permitted and a port answers a presence test; else exit 2.\n"
    "                     Never falls back to simulation. (default)\n"
    "                     A port at 0x378, 0x278 or 0x3BC is served under its own code; one\n"
    "                     at any other base (a card at 0xDC00) under a code still free, in\n"
    "                     the order 378, 278, 3BC, /dev/parportN by ascending N.\n"
    "  --backend ppdev    /dev/parportN through the kernel's ppdev driver\n"
    "  --backend direct   ioperm + inb/outb (needs CAP_SYS_RAWIO)\n"
    "  --backend sim      simulated ports\n"
    "  --ports LIST       codes to serve (sim: which ports exist, default 378)\n"
    "  --map CODE=TARGET  serve exactly these ports: 378=/dev/parport1 (ppdev), or\n"
    "                     378=0xDC00 or 378=0xDC00,ecr=0xD880 (port instructions; the ECR\n"
    "                     from the kernel's base-addr when it knows the card). Without root\n"
    "                     a base must be a standard one or a port the kernel reports.\n"
    "  --loopback         sim: the loopback plug norton fitted (same as --plug norton)\n"
    "  --plug NAME        sim: the loopback plug fitted: norton, checkit or none\n"
    "  --sim-fault FAULT  sim only, for tests: stuck-low=PIN, stuck-high=PIN,\n"
    "                     short=PIN,PIN, or output-only (data lines never turn to input)\n"
    "  --trace FILE       append '<monotonic ns> <r|w> 0x<address> 0x<value> <client pid>'\n"
    "                     for every register access\n"
    "  --socket PATH      listen on PATH instead of the default socket\n"
    "  --exit-when-idle   end when the last client disconnects\n"
    "  --detach           run in the background; return once the socket accepts\n"
    "\n"
    "ADDR and VALUE are hex (0x378, 0x55). read prints the value as 0xNN.\n"
    "set-status ADDR names a port by its base or status address.\n"
    "\n"
    "Exit codes: 0 ok, 1 usage, 2 no backend could be opened (clients: the agent could\n"
    "not be reached or refused the request; list: no usable port), 3 socket in use by a live\n"
    "agent.\n";

std::optional<unsigned> ParseHex(const std::string& text, unsigned maxValue) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits = digits.substr(2);
    }
    if (digits.empty() || digits.size() > 4 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return std::isxdigit(c); })) {
        return std::nullopt;
    }
    const unsigned value = static_cast<unsigned>(std::stoul(digits, nullptr, 16));
    if (value > maxValue) {
        return std::nullopt;
    }
    return value;
}

std::string ClientSocketPath(const std::string& given, std::string& error) {
    if (!given.empty()) {
        return given;
    }
    const port::agent::SocketPlace place = port::agent::DefaultSocketPlace();
    if (place.path.empty()) {
        error = "no private folder for the agent's socket: " + place.notes;
    }
    return place.path;
}

std::string ConnectFailure(const std::string& path, int error) {
    struct stat st {};
    if (error == EACCES && ::stat(path.c_str(), &st) == 0 && st.st_uid != ::geteuid()) {
        return "the agent on " + path + " belongs to user " + platform::DescribeUser(st.st_uid) +
               ", not to you";
    }
    if (error == ENOENT) {
        return "no agent on " + path + " (start one: lptwdmio serve)";
    }
    if (error == EUSERS) {
        return "the agent on " + path + " serves as many clients as it may; end one and try again";
    }
    if (error == EMFILE || error == ENFILE) {
        return "the agent on " + path + " has run out of file descriptors; end some clients";
    }
    return "no agent on " + path + ": " + std::strerror(error);
}

std::optional<std::uint8_t> PortCodeFor(std::uint16_t address) {
    for (std::uint8_t port : {PortCode3BC, PortCode378, PortCode278}) {
        const std::uint16_t base = PortCodeAddress(port);
        if (address >= base && address < base + 8) {
            return static_cast<std::uint8_t>(port | (address - base));
        }
    }
    return std::nullopt;
}

namespace {

std::optional<std::vector<std::uint16_t>> ParsePorts(const std::string& list) {
    std::vector<std::uint16_t> ports;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(',', start);
        const auto base = ParseHex(list.substr(start, comma - start), 0xFFFF);
        if (!base || !IsStandardBase(*base)) {
            return std::nullopt;
        }
        if (std::find(ports.begin(), ports.end(), *base) == ports.end()) {
            ports.push_back(static_cast<std::uint16_t>(*base));
        }
        if (comma == std::string::npos) {
            return ports;
        }
        start = comma + 1;
    }
}

// --map against the other serve options; empty when they fit together.
std::string MapConflict(const BackendConfig& b) {
    if (b.maps.empty()) {
        return {};
    }
    if (const std::string e = CheckMaps(b.maps); !e.empty()) {
        return e;
    }
    const bool devices = b.maps[0].parport >= 0;
    if (b.kind == BackendKind::Sim) {
        return "--map needs a real backend, not sim";
    }
    if (!b.ports.empty()) {
        return "--map and --ports cannot be combined: the maps name the ports to serve";
    }
    if (b.kind == BackendKind::Ppdev && !devices) {
        return "--backend ppdev maps devices (378=/dev/parport1), not bases";
    }
    if (b.kind == BackendKind::Direct && devices) {
        return "--backend direct maps bases (378=0xDC00), not devices";
    }
    return {};
}

}  // namespace

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
    Options o;
    std::vector<std::string> positional;
    std::vector<std::string> given;  // options that take one value, each at most once
    bool serveOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = a + " needs a value";
                return false;
            }
            if (a != "--map") {
                if (std::find(given.begin(), given.end(), a) != given.end()) {
                    error = a + " is given twice";
                    return false;
                }
                given.push_back(a);
            }
            into = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            o.command = Command::Help;
            return o;
        } else if (a == "--socket") {
            if (!value(o.socketPath)) {
                return std::nullopt;
            }
        } else if (a == "--backend") {
            if (!value(v)) {
                return std::nullopt;
            }
            serveOnly = true;
            if (v == "auto") {
                o.backend.kind = BackendKind::Auto;
            } else if (v == "ppdev") {
                o.backend.kind = BackendKind::Ppdev;
            } else if (v == "direct") {
                o.backend.kind = BackendKind::Direct;
            } else if (v == "sim") {
                o.backend.kind = BackendKind::Sim;
            } else {
                error = "unknown backend: " + v;
                return std::nullopt;
            }
        } else if (a == "--ports") {
            if (!value(v)) {
                return std::nullopt;
            }
            serveOnly = true;
            const auto ports = ParsePorts(v);
            if (!ports) {
                error = "--ports takes standard bases, e.g. 378,278,3BC";
                return std::nullopt;
            }
            o.backend.ports = *ports;
        } else if (a == "--map") {
            if (!value(v)) {
                return std::nullopt;
            }
            serveOnly = true;
            const auto map = ParseMap(v, error);
            if (!map) {
                return std::nullopt;
            }
            o.backend.maps.push_back(*map);
        } else if (a == "--trace") {
            serveOnly = true;
            if (!value(o.tracePath)) {
                return std::nullopt;
            }
        } else if (a == "--plug") {
            serveOnly = true;
            if (!value(o.backend.plug)) {
                return std::nullopt;
            }
            if (o.backend.plug != "none" && !FindPlugWiring(o.backend.plug)) {
                error = "unknown plug: " + o.backend.plug + " (the plugs: " + PlugWiringNames() +
                        ", or none)";
                return std::nullopt;
            }
        } else if (a == "--sim-fault") {
            serveOnly = true;
            if (!value(v)) {
                return std::nullopt;
            }
            const auto fault = ParseSimFault(v, error);
            if (!fault) {
                return std::nullopt;
            }
            o.backend.simFaults.push_back(*fault);
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--loopback") {
            serveOnly = true;
            o.backend.loopback = true;
        } else if (a == "--exit-when-idle") {
            serveOnly = true;
            o.exitWhenIdle = true;
        } else if (a == "--detach") {
            serveOnly = true;
            o.detach = true;
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option: " + a;
            return std::nullopt;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.empty()) {
        error = "no command given";
        return std::nullopt;
    }
    const std::string& command = positional[0];
    std::size_t wanted = 1;
    if (command == "serve") {
        o.command = Command::Serve;
    } else if (command == "list") {
        o.command = Command::List;
    } else if (command == "read") {
        o.command = Command::Read;
        wanted = 2;
    } else if (command == "write" || command == "set-status") {
        o.command = command == "write" ? Command::Write : Command::SetStatus;
        wanted = 3;
    } else {
        error = "unknown command: " + command;
        return std::nullopt;
    }
    if (positional.size() != wanted) {
        error = "wrong number of arguments for " + command;
        return std::nullopt;
    }
    if (o.command != Command::Serve && serveOnly) {
        error = "serve options given to " + command;
        return std::nullopt;
    }
    if (const std::string e = MapConflict(o.backend); !e.empty()) {
        error = e;
        return std::nullopt;
    }
    if ((o.backend.loopback || !o.backend.plug.empty() || !o.backend.simFaults.empty()) &&
        o.backend.kind != BackendKind::Sim) {
        error = "--loopback, --plug and --sim-fault need --backend sim";
        return std::nullopt;
    }
    if (o.json && o.command != Command::List) {
        error = "--json is an option of list";
        return std::nullopt;
    }
    if (wanted >= 2) {
        const auto address = ParseHex(positional[1], 0xFFFF);
        if (!address || !PortCodeFor(static_cast<std::uint16_t>(*address))) {
            error = "not a port address: " + positional[1];
            return std::nullopt;
        }
        o.address = static_cast<std::uint16_t>(*address);
        if (o.command == Command::SetStatus) {
            const std::uint16_t base = BaseOf(o.address);
            if (o.address != base && o.address != base + 1) {
                error = "set-status takes a port's base or status address";
                return std::nullopt;
            }
        }
    }
    if (wanted == 3) {
        const auto value = ParseHex(positional[2], 0xFF);
        if (!value) {
            error = "not a byte value: " + positional[2];
            return std::nullopt;
        }
        o.value = static_cast<std::uint8_t>(*value);
    }
    return o;
}

}  // namespace agent
