"""Tarvik's parallel port for scripts: the calls that experiment scripts already
use, through Tarvik's port agent lptwdmio (no root, no group lp for the script,
cards at any base), and pulses timed by the agent itself.

    import tarvik
    port = tarvik.ParallelPort(0x378)      # PsychoPy's class and calls
    port.pulse(0x05, width=0.005)          # a 5 ms trigger, timed by the agent

    from tarvik import parallel            # pyparallel's class and calls
    p = parallel.Parallel()

Standard library only."""

from . import parallel
from .agent import socket_path
from .errors import AgentRefusedError, NoAgentError, NoPortError, PortHeldError, TarvikError
from .port import ParallelPort

__all__ = [
    "ParallelPort",
    "parallel",
    "socket_path",
    "TarvikError",
    "NoAgentError",
    "NoPortError",
    "PortHeldError",
    "AgentRefusedError",
]
