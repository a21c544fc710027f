"""pyparallel's Parallel class through the port agent: a script written for
`import parallel` needs only `from tarvik import parallel`.

Levels are those of the connector's pins, as the window's lamps show them:
setDataStrobe(1) puts pin 1 high and getInBusy() is 1 while pin 11 is high,
whatever the port's hardware inverts in its registers."""

from .errors import AgentRefusedError
from .port import CONTROL, DATA, Port, _byte

_REVERSE = 0x20  # control bit 5: the data lines are inputs


class _Direction(int):
    """The data lines' direction, 1 while they drive (output). Usable both as a
    value and called, as scripts use it either way."""

    def __call__(self):
        return bool(self)


class Parallel(Port):
    """A parallel port: `port` is pyparallel's port number (0 is /dev/parport0,
    or the first port the agent serves), a device name, or a base address."""

    def __init__(self, port=0, socket=None):
        super().__init__(port, socket, index=True)

    def setData(self, value):
        """Applies the byte to the data pins 2-9."""
        self._write(DATA, _byte(value))

    def getData(self):
        """The byte on the data pins 2-9."""
        return self._read(DATA)

    @property
    def dataDir(self):
        return _Direction(not self._read(CONTROL) & _REVERSE)

    def setDataDir(self, out):
        """True: the data lines drive (output, as after start); False: they are
        inputs, on ports that can (not through ppdev, whose register interface
        cannot turn them back)."""
        control = self._read(CONTROL)
        if out:
            if control & _REVERSE:
                self._write(CONTROL, control & ~_REVERSE & 0xFF)
            return
        if self.how == "ppdev":
            raise AgentRefusedError(
                "the data lines of a port served through ppdev cannot be made inputs by a script; "
                "serve it with --backend direct for that"
            )
        self._write(CONTROL, control | _REVERSE)

    def setDataStrobe(self, level):
        """Pin 1, STROBE."""
        self._set_level(1, level)

    def setAutoFeed(self, level):
        """Pin 14, AUTOFEED."""
        self._set_level(14, level)

    def setInitOut(self, level):
        """Pin 16, INIT."""
        self._set_level(16, level)

    def setSelect(self, level):
        """Pin 17, SELECT IN."""
        self._set_level(17, level)

    def getInError(self):
        """Pin 15, ERROR."""
        return bool(self._level(15))

    def getInSelected(self):
        """Pin 13, SELECT."""
        return bool(self._level(13))

    def getInPaperOut(self):
        """Pin 12, PAPER END."""
        return bool(self._level(12))

    def getInAcknowledge(self):
        """Pin 10, ACKNOWLEDGE."""
        return bool(self._level(10))

    def getInBusy(self):
        """Pin 11, BUSY."""
        return bool(self._level(11))
