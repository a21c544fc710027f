// The 17 signal pins of the 25-pin connector: the register bit each one is and
// whether the hardware inverts it (pins 1, 11, 14 and 17). A level here is the
// pin's own, high = true. Pins 18-25 are ground.
#pragma once

#include <array>
#include <cstdint>

namespace agent {

enum class PortRegister : std::uint8_t { Data = 0, Status = 1, Control = 2 };

struct PinLine {
    int pin;
    const char* name;
    PortRegister reg;
    std::uint8_t mask;
    bool inverted;
    bool output;  // driven by the port: the data and control lines
};

// By pin number: ConnectorPins[pin - 1].
inline constexpr std::array<PinLine, 17> ConnectorPins{{
    {1, "STROBE", PortRegister::Control, 0x01, true, true},
    {2, "D0", PortRegister::Data, 0x01, false, true},
    {3, "D1", PortRegister::Data, 0x02, false, true},
    {4, "D2", PortRegister::Data, 0x04, false, true},
    {5, "D3", PortRegister::Data, 0x08, false, true},
    {6, "D4", PortRegister::Data, 0x10, false, true},
    {7, "D5", PortRegister::Data, 0x20, false, true},
    {8, "D6", PortRegister::Data, 0x40, false, true},
    {9, "D7", PortRegister::Data, 0x80, false, true},
    {10, "ACKNLG", PortRegister::Status, 0x40, false, false},
    {11, "BUSY", PortRegister::Status, 0x80, true, false},
    {12, "PAPEREND", PortRegister::Status, 0x20, false, false},
    {13, "SELECT", PortRegister::Status, 0x10, false, false},
    {14, "AUTOFEED", PortRegister::Control, 0x02, true, true},
    {15, "ERROR", PortRegister::Status, 0x08, false, false},
    {16, "INIT", PortRegister::Control, 0x04, false, true},
    {17, "SELECTIN", PortRegister::Control, 0x08, true, true},
}};

inline constexpr int OutputPins[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 14, 16, 17};
inline constexpr int InputPins[] = {10, 11, 12, 13, 15};

// The control register's direction bit: set, a bidirectional port's data lines
// turn to input.
inline constexpr std::uint8_t ControlReverse = 0x20;

struct PortRegisters {
    std::uint8_t data = 0, status = 0, control = 0;
};

inline const PinLine& LineOfPin(int pin) {
    return ConnectorPins[static_cast<std::size_t>(pin - 1)];
}

inline bool PinLevel(const PortRegisters& r, const PinLine& line) {
    const std::uint8_t reg = line.reg == PortRegister::Data     ? r.data
                             : line.reg == PortRegister::Status ? r.status
                                                                : r.control;
    return ((reg & line.mask) != 0) != line.inverted;
}

inline void SetPinLevel(PortRegisters& r, const PinLine& line, bool high) {
    std::uint8_t& reg = line.reg == PortRegister::Data     ? r.data
                        : line.reg == PortRegister::Status ? r.status
                                                           : r.control;
    const bool bit = high != line.inverted;
    reg = static_cast<std::uint8_t>(bit ? reg | line.mask : reg & ~line.mask);
}

}  // namespace agent
