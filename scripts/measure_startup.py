#!/usr/bin/env python3
"""Measures the built program under Xvfb with a dummy JACK server: the time from starting
it to its main window being mapped, and its resident memory once it is up; then the same
after the built-in synthesizer has played one note (it loads only when first opened).

Usage: measure_startup.py PROGRAM_FOLDER [RUNS]"""

import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e", "program"))
from harness import Servers, Session, WINDOW_TITLE  # noqa: E402


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def one_run(servers, folder, device, play):
    session = Session(servers, folder)
    try:
        session.use_config(recording=device)
        started = time.monotonic()
        session.start_program(wait_window=False)
        window = None
        while window is None and time.monotonic() - started < 20:
            found = session.find_windows(WINDOW_TITLE)
            window = found[0] if found else None
            if window is None:
                time.sleep(0.005)
        mapped = time.monotonic() - started
        time.sleep(1.0)
        before = resident_kib(session.program.pid)
        after = before
        if play:
            session.focus(window)
            session.key("z")
            time.sleep(1.5)
            after = resident_kib(session.program.pid)
        return mapped, before, after
    finally:
        session.close()


def main():
    folder = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    servers = Servers()
    servers.start()
    try:
        plain = [one_run(servers, folder, 2, False) for _ in range(runs)]
        synth = [one_run(servers, folder, 0, True) for _ in range(runs)]
    finally:
        servers.stop()
    median = lambda values: statistics.median(values)
    print(f"runs: {runs}")
    print(f"start to window mapped: median {median([r[0] for r in plain]) * 1000:.0f} ms "
          f"(min {min(r[0] for r in plain) * 1000:.0f}, max {max(r[0] for r in plain) * 1000:.0f})")
    print(f"resident memory after start-up: median {median([r[1] for r in plain]) / 1024:.1f} MiB")
    print(f"with the built-in synthesizer chosen, before its first note: "
          f"median {median([r[1] for r in synth]) / 1024:.1f} MiB, start {median([r[0] for r in synth]) * 1000:.0f} ms")
    print(f"after its first note (sound font loaded): median {median([r[2] for r in synth]) / 1024:.1f} MiB")


if __name__ == "__main__":
    main()
