"""A trigger script as a lab writes it for PsychoPy's parallel port; for Tarvik only
the import differs (PsychoPy: `from psychopy import parallel`). The first argument,
if any, is the port's address. It prints what it reads; it fails if a data pin
does not read back what it set."""
import sys
import time

import tarvik as parallel

port = parallel.ParallelPort(address=int(sys.argv[1], 16) if len(sys.argv) > 1 else 0x0378)
port.setData(0)
for code in (0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0xFF):
    port.setData(code)
    if port.readData() != code:
        sys.exit("setData(0x%02X) reads back 0x%02X" % (code, port.readData()))
port.setData(0)
for pin in range(2, 10):
    port.setPin(pin, 1)
    if port.readPin(pin) != 1 or port.readData() != 1 << (pin - 2):
        sys.exit("setPin(%d, 1) reads back data 0x%02X" % (pin, port.readData()))
    port.setPin(pin, 0)
# Three triggers timed by the script, as PsychoPy experiments do.
for code in (5, 6, 7):
    port.setData(code)
    time.sleep(0.02)
    port.setData(0)
    time.sleep(0.02)
port.setData(0xA5)
print("data 0x%02X" % port.readData())
print("inputs " + " ".join("%d=%d" % (pin, port.readPin(pin)) for pin in (10, 11, 12, 13, 15)))
