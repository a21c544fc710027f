"""A script as written for pyparallel (Debian's python3-parallel); for Tarvik only
the import differs (pyparallel: `import parallel`). The first argument, if any, is
the port: a number (0 is /dev/parport0) or a base address (0x...). It prints what
it reads; it fails if the data lines do not read back what it set."""
import sys
import time

from tarvik import parallel

where = sys.argv[1] if len(sys.argv) > 1 else "0"
p = parallel.Parallel(int(where, 16) if where.startswith("0x") else int(where))
p.setDataDir(True)
for value in (0x00, 0x55, 0xAA, 0x3C):
    p.setData(value)
    if p.getData() != value:
        sys.exit("setData(0x%02X) reads back 0x%02X" % (value, p.getData()))
for level in (1, 0):
    p.setDataStrobe(level)
    p.setAutoFeed(level)
    p.setInitOut(level)
    p.setSelect(level)
    time.sleep(0.01)
# Left for the caller to see at the port: STROBE low, AUTOFEED high, INIT high,
# SELECT IN low.
p.setDataStrobe(0)
p.setAutoFeed(1)
p.setInitOut(1)
p.setSelect(0)
print("data 0x%02X out %d" % (p.getData(), p.dataDir))
print(
    "inputs error=%d selected=%d paperout=%d acknowledge=%d busy=%d"
    % (p.getInError(), p.getInSelected(), p.getInPaperOut(), p.getInAcknowledge(), p.getInBusy())
)
