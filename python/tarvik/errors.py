"""The exceptions of the tarvik module. All are OSError, so a script written for
pyparallel or PsychoPy that catches IOError or OSError catches them too."""


class TarvikError(OSError):
    """Something between the script and the port failed; str() says what."""

    def __init__(self, message, code=None):
        if code is None:
            super().__init__(message)
        else:
            super().__init__(code, message)
        self.message = message

    def __str__(self):
        return self.message


class NoAgentError(TarvikError):
    """No port agent could be reached, and none could be started."""


class NoPortError(TarvikError):
    """The agent serves no such port, or could open no port at all."""


class PortHeldError(NoPortError):
    """Another driver or program (the printer driver lp) holds the port."""


class AgentRefusedError(TarvikError):
    """The agent refused a request; errno says why."""
