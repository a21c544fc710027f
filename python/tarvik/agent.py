"""The road to the port agent lptwdmio: where its socket is, starting one when
none runs, and its request/reply protocol over the socket."""

import errno
import os
import pwd
import select
import shutil
import socket
import stat
import struct
import subprocess
import threading
import time

from .errors import AgentRefusedError, NoAgentError, NoPortError, PortHeldError, TarvikError

SOCKET_NAME = "LptAccessAgent"

CODE_READ = 0x220050
CODE_WRITE = 0x220060
CODE_PULSE = 0x220090
CODE_DESCRIBE = 0x2200A0

REQUEST_TIMEOUT = 2.0
START_TIMEOUT = 10.0


def _owner(uid):
    try:
        return "user %s (uid %d)" % (pwd.getpwuid(uid).pw_name, uid)
    except KeyError:
        return "uid %d" % uid


def _own_folder(path, euid):
    """Whether path is a real folder of ours (not a link), made private if it
    was not; else why not, naming who holds it."""
    try:
        st = os.lstat(path)
    except OSError as e:
        return "%s: %s" % (path, e.strerror)
    if stat.S_ISLNK(st.st_mode):
        return "%s is a symbolic link of %s" % (path, _owner(st.st_uid))
    if not stat.S_ISDIR(st.st_mode):
        return "%s is a file of %s, not a folder" % (path, _owner(st.st_uid))
    if st.st_uid != euid:
        return "%s belongs to %s" % (path, _owner(st.st_uid))
    if st.st_mode & 0o077:
        os.chmod(path, 0o700)
    return None


def socket_path(environ=None, tmp="/tmp"):
    """The agent's socket, by the rule the program and every client share:
    $XDG_RUNTIME_DIR when it is a private folder of ours; else a folder of ours
    in /tmp (made 0700 when missing); else one under ~/.cache. Raises NoAgentError,
    naming the owner of what is in the way, when none of them can be used."""
    env = os.environ if environ is None else environ
    euid = os.geteuid()
    runtime = env.get("XDG_RUNTIME_DIR", "")
    if runtime and os.path.isabs(runtime):
        try:
            st = os.lstat(runtime)
            if stat.S_ISDIR(st.st_mode) and st.st_uid == euid and not st.st_mode & 0o077:
                return os.path.join(runtime, SOCKET_NAME)
        except OSError:
            pass
    reasons = []
    shared = os.path.join(tmp, "tarvik-%d" % euid)
    try:
        os.mkdir(shared, 0o700)
    except FileExistsError:
        pass
    except OSError as e:
        reasons.append("%s: %s" % (shared, e.strerror))
    if not reasons:
        why = _own_folder(shared, euid)
        if why is None:
            return os.path.join(shared, SOCKET_NAME)
        reasons.append(why)
    home = env.get("HOME") or pwd.getpwuid(euid).pw_dir
    private = os.path.join(home, ".cache", "tarvik")
    try:
        os.makedirs(private, 0o700, exist_ok=True)
        why = _own_folder(private, euid)
    except OSError as e:
        why = "%s: %s" % (private, e.strerror)
    if why is None:
        return os.path.join(private, SOCKET_NAME)
    reasons.append(why)
    raise NoAgentError("no place for the port agent's socket: " + "; ".join(reasons))


def agent_program():
    """The lptwdmio to start: the one installed beside this module's install,
    else the first on PATH."""
    try:
        from . import _installed

        if os.access(_installed.LPTWDMIO, os.X_OK):
            return _installed.LPTWDMIO
    except ImportError:
        pass
    found = shutil.which("lptwdmio")
    if found is None:
        raise NoAgentError(
            "no port agent runs, and there is no lptwdmio to start one: install Tarvik "
            "(scripts/install) or put lptwdmio on PATH"
        )
    return found


def start_agent(path):
    """Starts an agent as the program does, on the given socket; raises with the
    agent's own words when it can't serve (no port, port held)."""
    program = agent_program()
    argv = [program, "serve", "--backend", "auto", "--exit-when-idle", "--detach", "--socket", path]
    try:
        done = subprocess.run(
            argv,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.PIPE,
            timeout=START_TIMEOUT,
        )
    except (OSError, subprocess.TimeoutExpired) as e:
        raise NoAgentError("could not start the port agent %s: %s" % (program, e)) from None
    if done.returncode in (0, 3):  # 3: another client started one just now
        return
    said = done.stderr.decode("utf-8", "replace").strip()
    message = "the port agent could not serve a port: " + (said or "exit code %d" % done.returncode)
    if "held by" in said:
        raise PortHeldError(message)
    raise NoPortError(message) if done.returncode == 2 else NoAgentError(message)


def _explain(code, what):
    if code == errno.ENXIO:
        return NoPortError("the agent serves no such port (%s)" % what, code)
    if code == errno.EBUSY:
        return AgentRefusedError(
            "the agent refused %s: too many pulses are waiting for their turn "
            "(at most 16 per script, 256 in all)" % what,
            code,
        )
    if code == errno.EINVAL:
        return AgentRefusedError(
            "the agent refused %s as invalid: an lptwdmio older than this module? "
            "Restart it." % what,
            code,
        )
    return AgentRefusedError("the agent refused %s: %s" % (what, os.strerror(code)), code)


class Connection:
    """One connection to the agent, opened at once (starting an agent when none
    runs) and opened again when the agent closed it while it was idle."""

    def __init__(self, path=None):
        self.path = path or socket_path()
        self._sock = None
        self._lock = threading.Lock()
        self._open()

    def close(self):
        with self._lock:
            if self._sock is not None:
                self._sock.close()
                self._sock = None

    def _connect(self):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.settimeout(REQUEST_TIMEOUT)
        try:
            s.connect(self.path)
            pid, uid, gid = struct.unpack("3i", s.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED, 12))
        except OSError:
            s.close()
            raise
        # Only an agent of our own user, or root's, may stand in for the port.
        if uid not in (os.geteuid(), 0):
            s.close()
            raise NoAgentError("the agent on %s belongs to %s, not to you" % (self.path, _owner(uid)))
        self._sock = s

    def _open(self):
        try:
            self._connect()
            return
        except (FileNotFoundError, ConnectionRefusedError):
            pass
        except OSError as e:
            raise NoAgentError("cannot reach the port agent on %s: %s" % (self.path, e.strerror)) from None
        start_agent(self.path)
        deadline = time.monotonic() + 2
        while True:
            try:
                self._connect()
                return
            except OSError as e:
                if time.monotonic() > deadline:
                    raise NoAgentError(
                        "the port agent started but does not answer on %s: %s" % (self.path, e.strerror)
                    ) from None
                time.sleep(0.01)

    def _alive(self):
        """False when the agent has closed our idle connection (or went away)."""
        if self._sock is None:
            return False
        readable, _, _ = select.select([self._sock], [], [], 0)
        if not readable:
            return True
        try:
            return self._sock.recv(1, socket.MSG_PEEK | socket.MSG_DONTWAIT) != b""
        except BlockingIOError:
            return True
        except OSError:
            return False

    def _exchange_once(self, code, pairs):
        count = len(pairs) // 2
        self._sock.sendall(struct.pack("<II", code, count) + bytes(pairs))
        want = 4 + 2 * count
        reply = b""
        while len(reply) < want:
            chunk = self._sock.recv(want - len(reply))
            if not chunk:
                if len(reply) >= 4 and struct.unpack_from("<I", reply)[0] != 0:
                    break  # the agent closes after refusing a malformed request
                raise ConnectionResetError(errno.ECONNRESET, "the agent closed the connection")
            reply += chunk
        return struct.unpack_from("<I", reply)[0], reply[4:]

    def exchange(self, code, pairs, what, repeatable=True):
        """Sends one request; returns the reply's pair bytes, or raises with the
        agent's reason. A request that may be sent twice is sent again once on a
        new connection when the old one broke."""
        with self._lock:
            if not self._alive():
                self._reopen()
            try:
                error, reply = self._exchange_once(code, pairs)
            except (OSError, socket.timeout) as e:
                if not repeatable:
                    self._drop()
                    raise NoAgentError("the agent did not answer %s: %s" % (what, e)) from None
                self._reopen()
                try:
                    error, reply = self._exchange_once(code, pairs)
                except (OSError, socket.timeout) as e2:
                    self._drop()
                    raise NoAgentError("the agent did not answer %s: %s" % (what, e2)) from None
        if error != 0:
            raise _explain(error, what)
        return reply

    def _drop(self):
        if self._sock is not None:
            self._sock.close()
            self._sock = None

    def _reopen(self):
        self._drop()
        self._open()


def parse_ports(text):
    """The agent's lines "0x378 = /dev/parport0 at 0xDC00 (ppdev)" as dicts of
    code, device, base (the real one) and how it is reached."""
    ports = []
    for line in text.splitlines():
        left, sep, right = line.partition(" = ")
        if not sep or not left.startswith("0x"):
            continue
        try:
            code = int(left, 16)
        except ValueError:
            continue
        how = right[right.rfind("(") + 1 : -1] if right.endswith(")") else ""
        words = right.split()
        device = words[0] if words and words[0].startswith("/dev/") else None
        base = None
        for word in words:
            if word.startswith("0x"):
                try:
                    base = int(word, 16)
                except ValueError:
                    pass
        if right.startswith("simulated"):
            base = code
        ports.append({"code": code, "device": device, "base": base, "how": how, "line": line})
    return ports


def describe(connection):
    """The ports the agent serves; None from an agent too old to say."""
    try:
        reply = connection.exchange(CODE_DESCRIBE, bytes(1024), "the list of its ports")
    except AgentRefusedError:
        return None
    return parse_ports(reply.split(b"\0", 1)[0].decode("utf-8", "replace"))
