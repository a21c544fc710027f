"""One parallel port reached through the agent: its three registers, its pins as
the connector numbers them, and pulses timed by the agent."""

import math
import struct

from . import agent
from .errors import NoPortError

STANDARD = (0x378, 0x278, 0x3BC)
_CODE_BYTE = {0x3BC: 0x10, 0x378: 0x20, 0x278: 0x30}

DATA, STATUS, CONTROL = 0, 1, 2

# Connector pin -> (register, bit mask, inverted): the pin's level is the register
# bit, or its inverse where the port's hardware inverts it (pins 1, 11, 14, 17).
PINS = {
    1: (CONTROL, 0x01, True),
    10: (STATUS, 0x40, False),
    11: (STATUS, 0x80, True),
    12: (STATUS, 0x20, False),
    13: (STATUS, 0x10, False),
    14: (CONTROL, 0x02, True),
    15: (STATUS, 0x08, False),
    16: (CONTROL, 0x04, False),
    17: (CONTROL, 0x08, True),
}
PINS.update({p: (DATA, 1 << (p - 2), False) for p in range(2, 10)})


def _byte(value, what="value"):
    if isinstance(value, bool) or not isinstance(value, int) or not 0 <= value <= 255:
        raise ValueError("%s must be a whole number from 0 to 255, not %r" % (what, value))
    return value


def _resolve(ports, where):
    """The port code the agent serves `where` under: a base address (a card's own,
    0xD010, or a code), a device name, or (index=True) pyparallel's port number."""
    served = ", ".join(p["line"] for p in ports) if ports else "no port"
    if isinstance(where, str):
        for p in ports or []:
            if p["device"] == where:
                return p["code"]
        raise NoPortError("the agent serves no %s; it serves %s" % (where, served))
    if isinstance(where, bool) or not isinstance(where, int) or where < 0:
        raise ValueError("a port is an address such as 0x378 or a device such as /dev/parport0")
    if ports is None:  # an agent too old to list its ports: the codes only
        if where in STANDARD:
            return where
        raise NoPortError("this agent reaches ports only as 0x378, 0x278 and 0x3BC, not 0x%X" % where)
    for p in ports:
        if p["base"] == where:
            return p["code"]
    for p in ports:
        if p["code"] == where:
            return where
    raise NoPortError("the agent serves no port at 0x%X; it serves %s" % (where, served))


class Port:
    """What the two script interfaces share."""

    def __init__(self, where, socket=None, index=False):
        self._agent = agent.Connection(socket)
        try:
            self._ports = agent.describe(self._agent)
            if index and isinstance(where, int) and not isinstance(where, bool) and 0 <= where < 0x100:
                where = self._numbered(where)
            self.address = _resolve(self._ports, where)
        except BaseException:
            self._agent.close()
            raise
        self._code = _CODE_BYTE[self.address]
        self.how = next((p["how"] for p in self._ports or [] if p["code"] == self.address), "")

    def _numbered(self, number):
        """pyparallel's port number: /dev/parportN where the agent names devices,
        else the Nth of the ports it serves (0x378, 0x278, 0x3BC)."""
        if self._ports and any(p["device"] for p in self._ports):
            return "/dev/parport%d" % number
        codes = [c for c in STANDARD if self._ports is None or any(p["code"] == c for p in self._ports)]
        if number >= len(codes):
            raise NoPortError("the agent serves no port number %d; it serves %d" % (number, len(codes)))
        return codes[number]

    def close(self):
        self._agent.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        agent_ = getattr(self, "_agent", None)
        if agent_ is not None:
            agent_.close()

    def _read(self, register):
        reply = self._agent.exchange(
            agent.CODE_READ, bytes([self._code | register, 0]), "to read 0x%X" % (self.address + register)
        )
        return reply[1]

    def _write(self, register, value):
        self._agent.exchange(
            agent.CODE_WRITE,
            bytes([self._code | register, value]),
            "to write 0x%X" % (self.address + register),
        )

    def _pin(self, pin, readable):
        allowed = PINS if readable else {p: v for p, v in PINS.items() if v[0] != STATUS}
        if isinstance(pin, bool) or pin not in allowed:
            kind = "read" if readable else "set"
            raise ValueError(
                "pin %r cannot be %s: pins %s are" % (pin, kind, ", ".join(map(str, sorted(allowed))))
            )
        return allowed[pin]

    def _level(self, pin):
        register, mask, inverted = self._pin(pin, True)
        return int(bool(self._read(register) & mask) != inverted)

    def _set_level(self, pin, level):
        register, mask, inverted = self._pin(pin, False)
        old = self._read(register)
        bit = bool(level) != inverted
        self._write(register, old | mask if bit else old & ~mask & 0xFF)

    def pulse(self, value=0xFF, width=0.005, mask=0xFF, count=1, period=None):
        """Sets the data lines in mask to value for width seconds, timed by the
        agent, then puts back the lines it changed; count pulses, one every period
        seconds. Returns once the agent has taken it; pulses that share a line run
        one after the other."""
        value, mask = _byte(value), _byte(mask, "mask")
        if mask == 0:
            raise ValueError("mask names no data line")
        if isinstance(count, bool) or not isinstance(count, int) or not 1 <= count <= 1000000:
            raise ValueError("count must be a whole number from 1 to 1000000")
        width_us = _micros(width, "width")
        if not 1 <= width_us <= 60000000:
            raise ValueError("width must be from 1 us to 60 s, in seconds")
        period_us = 0
        if count > 1 or period is not None:
            if period is None:
                raise ValueError("a train (count above 1) needs a period")
            period_us = _micros(period, "period")
            if not (max(100, width_us + 10) <= period_us <= 3600000000) or period_us * count > 86400e6:
                raise ValueError(
                    "period must be at least 100 us and the width + 10 us, at most an hour, "
                    "and a train may last at most a day"
                )
        request = bytes([self._code, value, mask, 0]) + struct.pack("<III", width_us, count, period_us)
        # Sent once only: a pulse must not go out twice.
        self._agent.exchange(agent.CODE_PULSE, request, "the pulse", repeatable=False)


def _micros(seconds, what):
    if isinstance(seconds, bool) or not isinstance(seconds, (int, float)) or not math.isfinite(seconds):
        raise ValueError("%s is a time in seconds, not %r" % (what, seconds))
    return int(round(seconds * 1e6))


class ParallelPort(Port):
    """PsychoPy's ParallelPort: setData, readData, setPin and readPin, with pins
    numbered as on the connector, through the port agent. `address` may be a
    port's base address as the system knows it (0x378, or a card's own, 0xD010)
    or its device (/dev/parport0)."""

    def __init__(self, address=0x378, socket=None):
        super().__init__(address, socket)

    def setData(self, data):
        """Puts the byte on the data pins 2-9."""
        self._write(DATA, _byte(data, "data"))

    def readData(self):
        """The byte the data pins 2-9 hold."""
        return self._read(DATA)

    def setPin(self, pinNumber, state):
        """Sets one output pin: a data pin 2-9, or a control pin 1, 14, 16, 17
        (at its level on the connector)."""
        self._set_level(pinNumber, state)

    def readPin(self, pinNumber):
        """The level (1 or 0) of a pin: data pins 2-9, the status inputs 10-13 and
        15, the control pins 1, 14, 16 and 17."""
        return self._level(pinNumber)
