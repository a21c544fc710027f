#!/usr/bin/env python3
"""Trigger pulses through the tarvik module: the width error at the port, from a
private simulated agent's trace, of pulses timed by the agent (port.pulse) beside
the same pulses timed by the script (setData, time.sleep, setData), on a quiet
machine and with both cores kept busy by two spinning processes.

    bench/trigger_bench.py --agent build/bin/lptwdmio [--load quiet|busy|both]
                           [--realtime] [--tsv] [--quick]

--realtime runs the agent at real-time priority (chrt -f 10, as the README advises
for a busy machine; root) and measures only the agent-timed pulses, as mode
agent-rt. --tsv prints one line per case: mode load width_ms pulses p50 p99 max
min (µs, the error of each width: measured minus asked; p50/p99/max of its size,
min signed)."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
import tarvik  # noqa: E402

# (width in s, pulses): about 40 s per mode and load.
CASES = [(0.001, 200), (0.01, 100), (0.1, 40), (1.0, 15)]
QUICK = [(0.001, 50), (0.01, 20), (0.1, 5), (1.0, 2)]
AGENT_BIT, SCRIPT_BIT = 0x01, 0x02


def rest_after(width):
    return 0.005 + width / 5


def agent_timed(port, width, count):
    for _ in range(count):
        port.pulse(AGENT_BIT, width=width, mask=AGENT_BIT)
        time.sleep(width + rest_after(width))


def script_timed(port, width, count):
    for _ in range(count):
        port.setData(SCRIPT_BIT)
        time.sleep(width)
        port.setData(0)
        time.sleep(rest_after(width))


def widths(trace, bit):
    """The widths (ns) of the pulses on one data bit, from the writes in the trace."""
    out, level, rose = [], 0, 0
    with open(trace) as f:
        for line in f:
            ns, kind, address, value, _ = line.split()
            if kind != "w" or address != "0x378":
                continue
            now = 1 if int(value, 16) & bit else 0
            if now and not level:
                rose = int(ns)
            elif level and not now:
                out.append(int(ns) - rose)
            level = now
    return out


def figures(errors_us):
    size = sorted(abs(e) for e in errors_us)
    n = len(size)
    p99 = size[min(n - 1, max(0, -(-99 * n // 100) - 1))]
    return size[(n - 1) // 2], p99, size[-1], min(errors_us)


def measure(agent, folder, load, cases, realtime):
    trace = os.path.join(folder, "trace-" + load)
    socket = os.path.join(folder, "s-" + load)
    argv = [agent, "serve", "--backend", "sim", "--socket", socket, "--trace", trace]
    server = subprocess.Popen((["chrt", "-f", "10"] if realtime else []) + argv, stderr=subprocess.DEVNULL)
    spinners = []
    try:
        for _ in range(100):
            try:
                port = tarvik.ParallelPort(socket=socket)
                break
            except tarvik.TarvikError:
                time.sleep(0.02)
        if load == "busy":
            spin = [sys.executable, "-c", "while True: pass"]
            spinners = [subprocess.Popen(spin) for _ in range(os.cpu_count() or 2)]
            time.sleep(0.5)
        rows = []
        for width, count in cases:
            open(trace, "w").close()
            agent_timed(port, width, count)
            if not realtime:
                script_timed(port, width, count)
            time.sleep(0.05)
            modes = (("agent-rt", AGENT_BIT),) if realtime else (("agent", AGENT_BIT), ("script", SCRIPT_BIT))
            for mode, bit in modes:
                got = widths(trace, bit)
                errors = [(w - width * 1e9) / 1e3 for w in got]
                rows.append((mode, load, width * 1e3, len(got)) + figures(errors))
        port.close()
        return rows
    finally:
        for p in spinners:
            p.kill()
            p.wait()
        server.terminate()
        server.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--agent", default="lptwdmio")
    parser.add_argument("--tsv", action="store_true")
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--load", choices=("quiet", "busy", "both"), default="both")
    parser.add_argument("--realtime", action="store_true")
    args = parser.parse_args()
    folder = tempfile.mkdtemp(prefix="tarvik-trigger-bench-")
    os.chmod(folder, 0o700)
    try:
        rows = []
        for load in ("quiet", "busy") if args.load == "both" else (args.load,):
            rows += measure(args.agent, folder, load, QUICK if args.quick else CASES, args.realtime)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    for mode, load, width_ms, n, p50, p99, worst, least in rows:
        if args.tsv:
            print("%s\t%s\t%g\t%d\t%.1f\t%.1f\t%.1f\t%.1f" % (mode, load, width_ms, n, p50, p99, worst, least))
        else:
            print(
                "%-6s %-5s %6g ms  %4d pulses  error p50 %8.1f  p99 %8.1f  max %8.1f µs  (least %.1f)"
                % (mode, load, width_ms, n, p50, p99, worst, least)
            )


if __name__ == "__main__":
    main()
