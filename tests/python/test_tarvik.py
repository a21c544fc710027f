"""The tarvik module against a simulated agent: the socket rule, the PsychoPy-style
and pyparallel-style scripts unchanged but for their import, pulses timed by the
agent, and the errors a script sees. Run by ctest with LPTWDMIO set to the agent
and PYTHONPATH to the module."""

import errno
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import time
import unittest

import tarvik

HERE = os.path.dirname(os.path.abspath(__file__))
AGENT = os.environ.get("LPTWDMIO", "lptwdmio")


def writes(trace, address="0x378"):
    """(ns, value, pid) of each write to an address in the agent's trace."""
    out = []
    with open(trace) as f:
        for line in f:
            ns, kind, where, value, pid = line.split()
            if kind == "w" and where == address:
                out.append((int(ns), int(value, 16), int(pid)))
    return out


class PrivateAgent:
    """A simulated port with a loopback plug, on a private runtime folder."""

    def __init__(self, extra=()):
        self.dir = tempfile.mkdtemp(prefix="tarvik-py-")
        os.chmod(self.dir, 0o700)
        self.socket = os.path.join(self.dir, "LptAccessAgent")
        self.trace = os.path.join(self.dir, "trace")
        self.process = None
        self.start(extra)

    def start(self, extra=()):
        argv = [AGENT, "serve", "--backend", "sim", "--loopback", "--socket", self.socket, "--trace", self.trace]
        self.process = subprocess.Popen(argv + list(extra), stderr=subprocess.DEVNULL)
        for _ in range(500):
            try:
                tarvik.agent.Connection(self.socket).close()
                return
            except tarvik.TarvikError:
                time.sleep(0.01)
        raise RuntimeError("the agent did not start")

    def stop(self):
        if self.process is not None:
            self.process.terminate()
            self.process.wait()
            self.process = None

    def env(self, path=None):
        env = dict(os.environ, XDG_RUNTIME_DIR=self.dir)
        env["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
        if path is not None:
            env["PATH"] = path
        return env

    def close(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)


class SocketRule(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="tarvik-rule-")
        self.tmp = os.path.join(self.root, "tmp")
        self.home = os.path.join(self.root, "home")
        os.mkdir(self.tmp)
        os.chmod(self.tmp, 0o1777)
        os.mkdir(self.home)
        self.runtime = os.path.join(self.root, "run")
        os.mkdir(self.runtime, 0o700)
        self.shared = os.path.join(self.tmp, "tarvik-%d" % os.geteuid())

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def rule(self, runtime):
        env = {"HOME": self.home}
        if runtime is not None:
            env["XDG_RUNTIME_DIR"] = runtime
        return tarvik.socket_path(env, tmp=self.tmp)

    def test_each_place_in_turn_and_what_stands_in_the_way(self):
        self.assertEqual(self.rule(self.runtime), self.runtime + "/LptAccessAgent")
        # A link to it, not private, not absolute, unset: the folder in /tmp, made 0700.
        link = os.path.join(self.root, "link")
        os.symlink(self.runtime, link)
        self.assertEqual(self.rule(link), self.shared + "/LptAccessAgent")
        os.chmod(self.runtime, 0o750)
        for runtime in (self.runtime, "run", None):
            self.assertEqual(self.rule(runtime), self.shared + "/LptAccessAgent", runtime)
            self.assertEqual(stat.S_IMODE(os.lstat(self.shared).st_mode), 0o700)
        os.chmod(self.shared, 0o755)  # ours, but loose: tightened
        self.assertEqual(self.rule(None), self.shared + "/LptAccessAgent")
        self.assertEqual(stat.S_IMODE(os.lstat(self.shared).st_mode), 0o700)
        # Someone else's name in /tmp: the folder under ~/.cache, made 0700.
        os.rmdir(self.shared)
        os.symlink(self.runtime, self.shared)
        cache = os.path.join(self.home, ".cache", "tarvik")
        self.assertEqual(self.rule(None), cache + "/LptAccessAgent")
        self.assertEqual(stat.S_IMODE(os.lstat(cache).st_mode), 0o700)
        if os.geteuid() != 0:
            self.skipTest("a folder of another user needs root to make")
        os.remove(self.shared)
        os.mkdir(self.shared, 0o700)
        os.chown(self.shared, 4242, 4242)
        os.rmdir(cache)
        os.symlink(self.runtime, cache)
        with self.assertRaises(tarvik.NoAgentError) as caught:
            self.rule(None)
        self.assertIn(self.shared + " belongs to uid 4242", str(caught.exception))
        self.assertIn(cache + " is a symbolic link", str(caught.exception))


class PortNames(unittest.TestCase):
    def test_a_card_by_its_own_base_or_its_device(self):
        ports = tarvik.agent.parse_ports(
            "0x378 = /dev/parport1 at 0xD010 (ppdev)\n0x278 = /dev/parport0 at 0x278 (ppdev)\n"
        )
        resolve = tarvik.port._resolve
        self.assertEqual([resolve(ports, w) for w in (0xD010, 0x378, "/dev/parport0", 0x278)], [0x378] * 2 + [0x278] * 2)
        with self.assertRaises(tarvik.NoPortError):
            resolve(ports, 0x2FB8)
        direct = tarvik.agent.parse_ports("0x378 = 0x2FB8 (port instructions)\n")
        self.assertEqual(direct[0]["how"], "port instructions")
        self.assertEqual(resolve(direct, 0x2FB8), 0x378)


class Scripts(unittest.TestCase):
    def setUp(self):
        self.agent = PrivateAgent()

    def tearDown(self):
        self.agent.close()

    def run_script(self, name, *args):
        done = subprocess.run(
            [sys.executable, os.path.join(HERE, name)] + list(args),
            env=self.agent.env(),
            capture_output=True,
            text=True,
            timeout=60,
        )
        self.assertEqual(done.returncode, 0, done.stderr)
        return done.stdout

    def test_psychopy_style_script(self):
        out = self.run_script("psychopy_style.py")
        # The loopback plug: pins 15, 13, 12, 10 follow D0-D3, pin 11 follows D4.
        self.assertEqual(out, "data 0xA5\ninputs 10=0 11=0 12=1 13=0 15=1\n")
        values = [v for _, v, _ in writes(self.agent.trace)]
        self.assertEqual(values[-7:], [5, 0, 6, 0, 7, 0, 0xA5])

    def test_pyparallel_style_script(self):
        out = self.run_script("pyparallel_style.py")
        self.assertEqual(out, "data 0x3C out 1\ninputs error=0 selected=0 paperout=1 acknowledge=1 busy=1\n")
        control = [v & 0x2F for _, v, _ in writes(self.agent.trace, "0x37A")]
        # STROBE, AUTOFEED and SELECT IN are inverted at the connector, INIT is not:
        # all four high is 0x04, the levels the script leaves 0x0D.
        self.assertIn(0x04, control)
        self.assertEqual(control[-1], 0x0D)
        # Given by its base address it is the same port.
        self.assertIn("data 0x3C", self.run_script("pyparallel_style.py", "0x378"))

    def test_pulse_returns_at_once_and_puts_back_only_its_own_lines(self):
        port = tarvik.ParallelPort(socket=self.agent.socket)
        port.setData(0x0F)
        port.pulse(0x30, width=0.5, mask=0x30)
        self.assertEqual(port.readData(), 0x3F)  # still under way
        port.setPin(2, 0)  # another write meanwhile stays
        time.sleep(0.7)
        self.assertEqual(port.readData(), 0x0E)
        port.pulse(0x01, width=0.002, count=3, period=0.01)
        time.sleep(0.2)
        got = [(v, pid) for _, v, pid in writes(self.agent.trace)]
        self.assertEqual(got[-6:], [(0x01, os.getpid()), (0x0E, os.getpid())] * 3)
        with self.assertRaises(ValueError):
            port.pulse(1, width=61)
        with self.assertRaises(ValueError):
            port.pulse(1, width=0.01, count=2)  # a train needs its period
        port.close()


class Errors(unittest.TestCase):
    def setUp(self):
        self.agent = PrivateAgent()

    def tearDown(self):
        self.agent.close()

    def fake_agent(self, body):
        """An lptwdmio on a PATH of its own that notes its arguments, then runs body."""
        folder = os.path.join(self.agent.dir, "bin")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "lptwdmio")
        with open(path, "w") as f:
            f.write('#!/bin/sh\necho "$@" >>%s/argv\n%s\n' % (folder, body))
        os.chmod(path, 0o755)
        return folder

    def script(self, code, path):
        done = subprocess.run(
            [sys.executable, "-c", code], env=self.agent.env(path), capture_output=True, text=True, timeout=60
        )
        return done.returncode, done.stdout + done.stderr

    def test_an_agent_is_started_when_none_runs_and_its_refusal_reaches_the_script(self):
        self.agent.stop()
        # The real agent, serving the simulated port in place of the hardware.
        folder = self.fake_agent(
            'for a; do shift; [ "$a" = auto ] && a=sim; set -- "$@" "$a"; done\nexec %s "$@"' % AGENT
        )
        code, out = self.script("import tarvik; p = tarvik.ParallelPort(); p.setData(0x42); print(p.readData())", folder)
        self.assertEqual((code, out), (0, "66\n"))
        with open(os.path.join(folder, "argv")) as f:
            self.assertEqual(
                f.read(), "serve --backend auto --exit-when-idle --detach --socket %s\n" % self.agent.socket
            )
        # It ends with its last client, as one the program started does.
        for _ in range(200):
            if not os.path.exists(self.agent.socket):
                break
            time.sleep(0.01)
        self.assertFalse(os.path.exists(self.agent.socket))

        said = "lptwdmio: no port backend could be opened:\n/dev/parport0: the port is held by lp, the printer driver"
        folder = self.fake_agent("printf '%s\\n' >&2; exit 2" % said)
        code, out = self.script("import tarvik; tarvik.ParallelPort()", folder)
        self.assertNotEqual(code, 0)
        self.assertIn("tarvik.errors.PortHeldError: the port agent could not serve a port: " + said, out)

    def test_no_such_port_a_refused_request_and_an_agent_that_came_back(self):
        with self.assertRaises(tarvik.NoPortError) as caught:
            tarvik.ParallelPort(0xD010, socket=self.agent.socket)
        self.assertIn("no port at 0xD010; it serves 0x378 = simulated port", str(caught.exception))
        port = tarvik.parallel.Parallel(socket=self.agent.socket)
        for _ in range(16):
            port.pulse(1, width=1)
        with self.assertRaises(tarvik.AgentRefusedError) as caught:
            port.pulse(1, width=1)
        self.assertEqual(caught.exception.errno, errno.EBUSY)
        self.assertIn("too many pulses", str(caught.exception))
        # The agent went away and another took its place: the next call reconnects,
        # also a pulse, which is never sent twice and so must not meet a dead socket.
        self.agent.stop()
        self.agent.start()
        port.pulse(0x99, width=0.2)
        self.assertEqual(port.getData(), 0x99)
        port.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
