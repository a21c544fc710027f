#include "agent/backends/SimLines.h"

#include <algorithm>

namespace agent {
namespace {

std::optional<int> SignalPin(const std::string& text) {
    if (text.empty() || text.size() > 2 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const int pin = std::stoi(text);
    return pin >= 1 && pin <= 17 ? std::optional<int>(pin) : std::nullopt;
}

}  // namespace

std::optional<SimFault> ParseSimFault(const std::string& text, std::string& error) {
    SimFault fault;
    const std::size_t eq = text.find('=');
    const std::string kind = text.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : text.substr(eq + 1);
    if (text == "output-only") {
        fault.kind = SimFault::Kind::OutputOnly;
        return fault;
    }
    if (kind == "stuck-low" || kind == "stuck-high") {
        fault.kind = kind == "stuck-low" ? SimFault::Kind::StuckLow : SimFault::Kind::StuckHigh;
        if (const auto pin = SignalPin(value)) {
            fault.pin = *pin;
            return fault;
        }
    } else if (kind == "short") {
        const std::size_t comma = value.find(',');
        const auto a = SignalPin(value.substr(0, comma));
        const auto b =
            comma == std::string::npos ? std::nullopt : SignalPin(value.substr(comma + 1));
        if (a && b && *a != *b) {
            fault.kind = SimFault::Kind::Short;
            fault.pin = *a;
            fault.other = *b;
            return fault;
        }
    }
    error =
        "--sim-fault takes stuck-low=PIN, stuck-high=PIN, short=PIN,PIN (pins 1-17) or "
        "output-only: " +
        text;
    return std::nullopt;
}

std::string SimFaultText(const SimFault& f) {
    switch (f.kind) {
        case SimFault::Kind::StuckLow:
            return "stuck-low=" + std::to_string(f.pin);
        case SimFault::Kind::StuckHigh:
            return "stuck-high=" + std::to_string(f.pin);
        case SimFault::Kind::Short:
            return "short=" + std::to_string(f.pin) + "," + std::to_string(f.other);
        case SimFault::Kind::OutputOnly:
            break;
    }
    return "output-only";
}

SimLines::SimLines(const PlugWiring* plug, std::vector<SimFault> faults)
    : plug_(plug), faults_(std::move(faults)) {
    for (int pin = 0; pin < 18; ++pin) {
        net_[pin] = pin;
    }
    auto join = [this](int a, int b) {
        const int from = NetOf(a), to = NetOf(b);
        net_[std::max(from, to)] = std::min(from, to);
        joined_[a] = joined_[b] = true;
    };
    if (plug_ != nullptr) {
        for (const auto& [out, in] : plug_->links) {
            join(out, in);
        }
    }
    for (const SimFault& f : faults_) {
        if (f.kind == SimFault::Kind::Short) {
            join(f.pin, f.other);
        } else if (f.kind == SimFault::Kind::OutputOnly) {
            outputOnly_ = true;
        } else {
            joined_[f.pin] = true;
        }
    }
}

int SimLines::NetOf(int pin) const {
    while (net_[pin] != pin) {
        pin = net_[pin];
    }
    return pin;
}

PortRegisters SimLines::Read(std::uint8_t data, std::uint8_t control, std::uint8_t status) const {
    const PortRegisters latches{data, status, control};
    // Every net floats high (pull-ups, TTL inputs) unless an output pulls it low;
    // the control lines are open-collector, so they only ever pull low.
    std::array<bool, 18> high;
    high.fill(true);
    const bool reverse = (control & ControlReverse) != 0 && !outputOnly_;
    for (int pin : OutputPins) {
        const PinLine& line = LineOfPin(pin);
        const bool driven = line.reg == PortRegister::Control || !reverse;
        if (driven && !PinLevel(latches, line)) {
            high[NetOf(pin)] = false;
        }
    }
    for (const SimFault& f : faults_) {
        if (f.kind == SimFault::Kind::StuckLow || f.kind == SimFault::Kind::StuckHigh) {
            high[NetOf(f.pin)] = f.kind == SimFault::Kind::StuckHigh;
        }
    }
    PortRegisters read;
    read.data = 0;
    read.control = static_cast<std::uint8_t>(0xC0 | (control & 0x30));
    read.status = static_cast<std::uint8_t>(status & 0x07);
    for (const PinLine& line : ConnectorPins) {
        // A status input nothing is joined to shows what the outside drives.
        const bool level = line.reg == PortRegister::Status && !joined_[line.pin]
                               ? PinLevel(latches, line)
                               : high[NetOf(line.pin)];
        SetPinLevel(read, line, level);
    }
    return read;
}

std::string SimLines::Describe() const {
    std::string text = plug_ != nullptr ? "loopback plug " + plug_->name : "";
    if (!faults_.empty()) {
        text += text.empty() ? "faults: " : "; faults: ";
        for (std::size_t i = 0; i < faults_.size(); ++i) {
            text += (i == 0 ? "" : ", ") + SimFaultText(faults_[i]);
        }
    }
    return text;
}

}  // namespace agent
