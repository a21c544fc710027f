#include "agent/cli/PulseCommand.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "agent/cli/Options.h"
#include "agent/cli/VerbArgs.h"
#include "port/AgentClient.h"
#include "port/AgentProtocol.h"

namespace agent {

const char* const PulseUsageText =
    "lptwdmio pulse [--port 378] --value V [--mask M] --width W [--count N --period P]\n"
    "               [--socket PATH]\n"
    "\n"
    "Sets the masked data lines of a port to V, holds them for W on the agent's own\n"
    "timer, then puts back the lines it changed (the others stay as they are then);\n"
    "with --count, N such pulses, one every P. Returns as soon as the agent has taken\n"
    "the pulse; the agent carries it out, also after this command has ended. Pulses\n"
    "that share a line run one after the other.\n"
    "\n"
    "  --port 378|278|3BC   the port's base address, hex (default 378)\n"
    "  --value V            the level of data lines D0-D7 during the pulse, hex (0x05)\n"
    "  --mask M             the lines the pulse drives, hex (default FF: all eight)\n"
    "  --width W            1us to 60s, with its unit: 250us, 5ms, 0.5s\n"
    "  --count N            pulses in the train, 1 to 1000000 (default 1)\n"
    "  --period P           from the start of one pulse to the next: at least 100us and\n"
    "                       W + 10us, at most 1 h; a train lasts at most a day\n"
    "  --socket PATH        the agent's socket\n"
    "\n"
    "Exit codes: 0 the agent took the pulse, 1 usage (also a port the agent does not\n"
    "serve), 2 no agent, or the agent refused (too many pulses outstanding).\n";

namespace {

constexpr int ExitOk = 0;
constexpr int ExitUsage = 1;
constexpr int ExitRefused = 2;

std::optional<std::uint32_t> ParseCount(const std::string& text) {
    if (text.empty() || text.size() > 7 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const unsigned long v = std::stoul(text);
    if (v < 1 || v > port::agent::MaxPulseCount) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(v);
}

}  // namespace

std::optional<std::uint64_t> ParseDurationUs(const std::string& text) {
    static const struct {
        const char* suffix;
        double us;
    } units[] = {{"us", 1}, {"\xC2\xB5s", 1}, {"ms", 1e3}, {"s", 1e6}};
    for (const auto& unit : units) {
        const std::size_t n = std::strlen(unit.suffix);
        if (text.size() <= n || text.compare(text.size() - n, n, unit.suffix) != 0) {
            continue;
        }
        const std::string number = text.substr(0, text.size() - n);
        if (number.find_first_not_of("0123456789.") != std::string::npos) {
            return std::nullopt;
        }
        char* end = nullptr;
        const double v = std::strtod(number.c_str(), &end);
        if (end == nullptr || *end != '\0' || !std::isfinite(v)) {
            return std::nullopt;
        }
        const double us = std::round(v * unit.us);
        if (us < 1 || us > 1e13) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(us);
    }
    return std::nullopt;
}

std::optional<PulseOptions> ParsePulseOptions(const std::vector<std::string>& args,
                                              std::string& error) {
    const auto read = ReadVerbArgs(
        args,
        {"pulse", {"--socket", "--port", "--value", "--mask", "--width", "--count", "--period"}},
        error);
    if (!read) {
        return std::nullopt;
    }
    PulseOptions o;
    if (read->help) {
        o.help = true;
        return o;
    }
    bool haveValue = false, haveWidth = false, havePeriod = false;
    for (const auto& [a, v] : read->options) {
        if (a == "--socket") {
            o.socketPath = v;
        } else if (a == "--port") {
            const auto base = ParsePortBase(v, error);
            if (!base) {
                return std::nullopt;
            }
            o.shape.base = *base;
        } else if (a == "--value" || a == "--mask") {
            const auto byte = ParseHex(v, 0xFF);
            if (!byte || (a == "--mask" && *byte == 0)) {
                error = a + " takes a byte in hex" + (a == "--mask" ? ", not 0" : "") + ": " + v;
                return std::nullopt;
            }
            (a == "--value" ? o.shape.value : o.shape.mask) = static_cast<std::uint8_t>(*byte);
            haveValue |= a == "--value";
        } else if (a == "--count") {
            const auto count = ParseCount(v);
            if (!count) {
                error = "--count takes a whole number from 1 to 1000000: " + v;
                return std::nullopt;
            }
            o.shape.count = *count;
        } else {
            const auto us = ParseDurationUs(v);
            if (!us) {
                error = a + " takes a time with its unit (250us, 5ms, 0.5s): " + v;
                return std::nullopt;
            }
            // Anything longer than the field holds is out of range all the same.
            (a == "--width" ? o.shape.widthUs : o.shape.periodUs) =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(*us, 0xFFFFFFFFu));
            (a == "--width" ? haveWidth : havePeriod) = true;
        }
    }
    if (!haveValue || !haveWidth) {
        error = "pulse needs --value and --width";
        return std::nullopt;
    }
    if (o.shape.count > 1 && !havePeriod) {
        error = "a train (--count above 1) needs --period";
        return std::nullopt;
    }
    // The agent's own bounds, so that a mistake is told here and in words.
    std::uint8_t bytes[2 * port::agent::PulseRequestPairs];
    EncodePulse(o.shape, bytes);
    Request request;
    request.code = port::agent::CodePulse;
    request.count = port::agent::PulseRequestPairs;
    request.pairs = bytes;
    PulseShape checked;
    if (const std::string wrong = DecodePulse(request, checked); !wrong.empty()) {
        if (wrong.find("width") != std::string::npos) {
            error = "--width must be from 1us to 60s";
        } else if (wrong.find("period") != std::string::npos) {
            error = "--period must be at least 100us and the width + 10us, at most 1 h";
        } else {
            error = "the train would last more than a day (--count times --period)";
        }
        return std::nullopt;
    }
    return o;
}

int RunPulse(const std::vector<std::string>& args) {
    std::string error;
    const auto parsed = ParsePulseOptions(args, error);
    if (!parsed) {
        std::fprintf(stderr, "lptwdmio: %s\n\nUsage:\n  %s", error.c_str(), PulseUsageText);
        return ExitUsage;
    }
    if (parsed->help) {
        std::fputs(PulseUsageText, stdout);
        return ExitOk;
    }
    const std::string socketPath = ClientSocketPath(parsed->socketPath, error);
    if (socketPath.empty()) {
        std::fprintf(stderr, "lptwdmio: %s\n", error.c_str());
        return ExitRefused;
    }
    port::agent::AgentClient client;
    if (int e = client.Open(socketPath); e != 0) {
        std::fprintf(stderr, "lptwdmio: %s\n", ConnectFailure(socketPath, e).c_str());
        return ExitRefused;
    }
    std::uint8_t bytes[2 * port::agent::PulseRequestPairs];
    EncodePulse(parsed->shape, bytes);
    const int e = client.Exchange(port::agent::CodePulse, bytes, port::agent::PulseRequestPairs);
    if (e == 0) {
        return ExitOk;
    }
    if (e == ENXIO) {
        std::fprintf(stderr, "lptwdmio: the agent serves no port at 0x%X\n", parsed->shape.base);
        return ExitUsage;
    }
    if (e == EBUSY) {
        std::fprintf(stderr,
                     "lptwdmio: the agent refused the pulse: too many pulses are waiting for "
                     "their turn (at most 16 per client, 256 in all)\n");
    } else if (e == EINVAL) {
        std::fprintf(stderr,
                     "lptwdmio: the agent on %s refused the pulse (%s): an lptwdmio older than "
                     "this one? Restart it.\n",
                     socketPath.c_str(), std::strerror(e));
    } else if (e == EUSERS || e == EMFILE || e == ENFILE) {
        std::fprintf(stderr, "lptwdmio: %s\n", ConnectFailure(socketPath, e).c_str());
    } else {
        std::fprintf(stderr, "lptwdmio: the pulse failed: %s (%d)\n", std::strerror(e), e);
    }
    return ExitRefused;
}

}  // namespace agent
