#include "agent/cli/LoopbackTest.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>

namespace agent {
namespace {

// One bit per test: the level of a line in each of the tests, in order.
using Signal = std::uint32_t;
using PinSignals = std::array<Signal, 18>;

constexpr std::size_t OutputCount = std::size(OutputPins);
constexpr std::uint16_t AllOutputs = (1u << OutputCount) - 1;

// All low, all high, each output alone against all others (both ways), and
// the neighbours on the connector against each other.
std::vector<std::uint16_t> TestPatterns() {
    std::vector<std::uint16_t> patterns{0, AllOutputs};
    std::uint16_t odd = 0;
    for (std::size_t i = 0; i < OutputCount; ++i) {
        patterns.push_back(static_cast<std::uint16_t>(1u << i));
        patterns.push_back(static_cast<std::uint16_t>(AllOutputs & ~(1u << i)));
        if (OutputPins[i] % 2 != 0) {
            odd = static_cast<std::uint16_t>(odd | 1u << i);
        }
    }
    patterns.push_back(odd);
    patterns.push_back(static_cast<std::uint16_t>(AllOutputs & ~odd));
    return patterns;
}

// The registers that put every output at its level in the pattern; the
// interrupt and direction bits stay clear.
PortRegisters Drive(std::uint16_t pattern) {
    PortRegisters r;
    for (std::size_t i = 0; i < OutputCount; ++i) {
        SetPinLevel(r, LineOfPin(OutputPins[i]), (pattern >> i & 1u) != 0);
    }
    return r;
}

bool IsOutput(int pin) {
    return LineOfPin(pin).output;
}

class Judge {
public:
    Judge(const PinSignals& driven, const PinSignals& first, const PinSignals& second, Signal all)
        : driven_(driven), first_(first), second_(second), all_(all) {}

    void Use(const PlugWiring* plug) {
        for (int pin = 0; pin < 18; ++pin) {
            net_[pin] = pin;
        }
        if (plug != nullptr) {
            for (const auto& [out, in] : plug->links) {
                net_[Root(out)] = Root(in);
            }
        }
    }

    // What a line reads if the plug's links are all there is: low when any output
    // joined to it drives low.
    Signal Expected(int pin) const {
        Signal e = all_;
        for (int other : OutputPins) {
            if (Root(other) == Root(pin)) {
                e &= driven_[other];
            }
        }
        return e;
    }

    LineResult Of(int pin) const {
        LineResult r;
        r.pin = pin;
        const Signal seen = first_[pin];
        const Signal expected = Expected(pin);
        if (seen != second_[pin]) {
            r.verdict = Verdict::Unsteady;
        } else if (seen == expected) {
            r.verdict = Verdict::Pass;
        } else if (seen == all_) {
            r.verdict = Verdict::StuckHigh;
        } else if (seen == 0) {
            r.verdict = Verdict::StuckLow;
        } else if (const int q = OtherOutput(pin, [&](int q) {
                       return seen == (expected & driven_[q]) || seen == (expected | driven_[q]);
                   })) {
            r.verdict = Verdict::Shorted;
            r.otherPin = q;
        } else if (const int q = OtherOutput(pin, [&](int q) { return seen == driven_[q]; })) {
            r.verdict = Verdict::Follows;
            r.otherPin = q;
        } else {
            r.verdict = Verdict::Wrong;
            r.wrong = std::popcount(seen ^ expected);
        }
        return r;
    }

    // The output an input shows the level of, or 0.
    int FollowedOutput(int pin) const {
        return OtherOutput(pin, [&](int q) { return first_[pin] == driven_[q]; });
    }

private:
    int Root(int pin) const {
        while (net_[pin] != pin) {
            pin = net_[pin];
        }
        return pin;
    }

    template <typename Match>
    int OtherOutput(int pin, Match match) const {
        for (int q : OutputPins) {
            if (Root(q) != Root(pin) && match(q)) {
                return q;
            }
        }
        return 0;
    }

    const PinSignals& driven_;
    const PinSignals& first_;
    const PinSignals& second_;
    Signal all_;
    std::array<int, 18> net_{};
};

int LoopsAnswering(Judge& judge, const PlugWiring& plug) {
    judge.Use(&plug);
    return static_cast<int>(std::count_if(plug.links.begin(), plug.links.end(), [&](auto link) {
        return judge.Of(link.second).verdict == Verdict::Pass;
    }));
}

std::vector<int> Partners(const PlugWiring* plug, int pin) {
    std::vector<int> partners;
    if (plug != nullptr) {
        for (const auto& [out, in] : plug->links) {
            if (out == pin) {
                partners.push_back(in);
            } else if (in == pin) {
                partners.push_back(out);
            }
        }
    }
    return partners;
}

// Picks the wiring to judge by and fills in how it was chosen.
void ChoosePlug(Judge& judge, const LoopbackSetup& setup, LoopbackResult& result) {
    const PlugWiring* best = nullptr;
    int bestLoops = 0;
    for (const PlugWiring& plug : PlugWirings()) {
        const int loops = LoopsAnswering(judge, plug);
        if (loops > bestLoops) {
            best = &plug;
            bestLoops = loops;
        } else if (loops == bestLoops && loops > 0 && result.alsoFits == nullptr) {
            result.alsoFits = &plug;
        }
    }
    if (result.alsoFits != nullptr && LoopsAnswering(judge, *result.alsoFits) != bestLoops) {
        result.alsoFits = nullptr;
    }
    // No plug unless some input follows an output: the inputs of a bare port
    // may still move with the control lines, as the port's own logic has it.
    judge.Use(nullptr);
    const bool inputsFollow = std::any_of(std::begin(InputPins), std::end(InputPins),
                                          [&](int i) { return judge.FollowedOutput(i) != 0; });
    if (setup.plug != nullptr) {
        result.plug = setup.plug;
        result.loopsAnswering = LoopsAnswering(judge, *setup.plug);
        result.noPlug = result.loopsAnswering == 0 && !inputsFollow;
        if (best != nullptr && best != setup.plug && bestLoops > result.loopsAnswering) {
            result.looksLike = best;
        }
        result.alsoFits = nullptr;
        return;
    }
    result.found = best != nullptr;
    result.plug = best;
    result.loopsAnswering = bestLoops;
    result.noPlug = best == nullptr && !inputsFollow;
}

}  // namespace

bool Failed(Verdict v) {
    return v == Verdict::StuckHigh || v == Verdict::StuckLow || v == Verdict::Shorted ||
           v == Verdict::Follows || v == Verdict::Wrong || v == Verdict::Unsteady;
}

int LoopbackResult::ExitCode() const {
    if (error != 0 || interrupted) {
        return 2;
    }
    // Without a known wiring an input that follows an output is a clue, not a fault.
    const bool failed = std::any_of(lines.begin(), lines.end(), [this](const LineResult& l) {
        return Failed(l.verdict) && (plug != nullptr || IsOutput(l.pin));
    });
    if (failed) {
        return 1;
    }
    return noPlug || plug == nullptr ? 2 : 0;
}

LoopbackResult RunLoopbackTest(TestPort& port, const LoopbackSetup& setup) {
    LoopbackResult result;
    auto stop = [&] {
        if (setup.stopRequested && setup.stopRequested()) {
            result.interrupted = true;
        }
        return result.interrupted;
    };
    PortRegisters saved;
    if ((result.error = port.Read(saved)) != 0) {
        return result;
    }
    const std::vector<std::uint16_t> patterns = TestPatterns();
    const Signal all = (Signal{1} << patterns.size()) - 1;
    PinSignals driven{}, seen[2]{};
    for (std::size_t k = 0; k < patterns.size(); ++k) {
        for (std::size_t i = 0; i < OutputCount; ++i) {
            driven[OutputPins[i]] |= (patterns[k] >> i & 1u) << k;
        }
    }
    // Two runs: a line that reads differently the second time is unsteady.
    for (int run = 0; run < 2 && result.error == 0 && !stop(); ++run) {
        for (std::size_t k = 0; k < patterns.size() && !stop(); ++k) {
            const PortRegisters out = Drive(patterns[k]);
            PortRegisters in;
            if ((result.error = port.Write(out.data, out.control)) != 0 ||
                (result.error = port.Read(in)) != 0) {
                break;
            }
            for (const PinLine& line : ConnectorPins) {
                seen[run][line.pin] |= Signal{PinLevel(in, line)} << k;
            }
        }
    }
    const std::uint8_t control = static_cast<std::uint8_t>(saved.control & 0x0F);
    if (result.error == 0 && !stop()) {
        PortRegisters in;
        if ((result.error = port.Write(0x00, control)) == 0 &&
            (result.error = port.Read(in)) == 0) {
            result.ps2.asOutput = in.data;
            if ((result.error =
                     port.Write(0x00, static_cast<std::uint8_t>(control | ControlReverse))) == 0 &&
                (result.error = port.Read(in)) == 0) {
                result.ps2.asInput = in.data;
                result.ps2.done = true;
            }
        }
    }
    // The direction bit is not put back: some ports read it as 1 whatever
    // was written, and a port left with its data lines turned round is useless.
    result.restored =
        port.Write(saved.data, static_cast<std::uint8_t>(saved.control & ~ControlReverse)) == 0;
    if (result.error != 0 || result.interrupted) {
        return result;
    }

    Judge judge(driven, seen[0], seen[1], all);
    ChoosePlug(judge, setup, result);
    judge.Use(result.plug);
    for (const PinLine& line : ConnectorPins) {
        const std::vector<int> loopedTo = Partners(result.plug, line.pin);
        const auto input =
            std::find_if(loopedTo.begin(), loopedTo.end(), [](int p) { return !IsOutput(p); });
        LineResult r;
        if (line.output && (line.reg != PortRegister::Control || setup.controlReadsLines)) {
            r = judge.Of(line.pin);
            r.readBackOnly = loopedTo.empty() || result.noPlug;
        } else if (result.noPlug) {
            r.verdict = Verdict::NoPlug;
        } else if (line.output && input != loopedTo.end()) {
            r = judge.Of(*input);
            r.seenAt = *input;
        } else if (line.output) {
            r.verdict = Verdict::NotTested;
        } else if (loopedTo.empty()) {
            // An input the plug leaves open should keep still.
            r.otherPin = judge.FollowedOutput(line.pin);
            r.verdict = r.otherPin != 0 ? Verdict::Follows : Verdict::NotLooped;
        } else {
            r = judge.Of(line.pin);
        }
        r.pin = line.pin;
        r.loopedTo = loopedTo;
        result.lines.push_back(r);
    }
    for (LineResult& out : result.lines) {
        for (int in : out.loopedTo) {
            if (out.verdict == Verdict::Pass && out.readBackOnly == false && out.seenAt == 0 &&
                !IsOutput(in) && Failed(result.lines[in - 1].verdict)) {
                out.notSeenAt = in;
            }
        }
    }
    judge.Use(nullptr);
    for (int in : InputPins) {
        if (const int out = judge.FollowedOutput(in)) {
            result.seenLoops.emplace_back(out, in);
        }
    }
    return result;
}

}  // namespace agent
