#!/usr/bin/env python3
"""Measures the built program under Xvfb with a dummy JACK server: the time from starting
it to its main window being mapped, and its resident memory once it is up; then the same
with the built-in synthesizer chosen, before and after it played one note. Next to it, in
the same run, the floor: a bare Qt main window with a menu bar (bench/bare_window).

Usage: measure_startup.py PROGRAM_FOLDER [RUNS] [BARE_WINDOW]"""

import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e", "program"))
from harness import Servers, Session, WINDOW_TITLE  # noqa: E402


def resident_kib(pid):
    """Resident memory of the process and the part of it that is its own: JACK's shared
    memory segment, mapped by every JACK client, is resident too but not the program's."""
    values = {}
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2 and parts[0].endswith(":") and parts[1].isdigit():
                values[parts[0][:-1]] = int(parts[1])
    return values.get("Rss", 0), values.get("Private_Clean", 0) + values.get("Private_Dirty", 0)


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
        if session.program.poll() is not None:
            raise RuntimeError(f"the program ended with {session.program.returncode}:\n{session.output()}")
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


def floor_run(servers, bare_window):
    started = time.monotonic()
    process = subprocess.Popen([bare_window], env=servers.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        found = []
        while not found and time.monotonic() - started < 20:
            found = servers.run(["xdotool", "search", "--onlyvisible", "--name", "^Bare window$"],
                                check=False).stdout.split()
            if not found:
                time.sleep(0.005)
        mapped = time.monotonic() - started
        time.sleep(1.0)
        return mapped, resident_kib(process.pid)
    finally:
        process.terminate()
        process.wait()


def main():
    folder = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    bare_window = (os.path.abspath(sys.argv[3]) if len(sys.argv) > 3
                   else os.path.join(os.path.dirname(folder), "bench", "bare_window"))
    servers = Servers()
    servers.start()
    try:
        plain, floor = [], []
        for _ in range(runs):  # interleaved, so that a busy machine hurts both alike
            plain.append(one_run(servers, folder, 2, False))
            floor.append(floor_run(servers, bare_window))
        synth = [one_run(servers, folder, 0, True) for _ in range(runs)]
    finally:
        servers.stop()
    median = statistics.median

    def memory(samples):
        return (f"resident {median([m[0] for m in samples]) / 1024:.1f} MiB, "
                f"of it the program's own {median([m[1] for m in samples]) / 1024:.1f} MiB")

    print(f"runs: {runs}")
    print(f"start to window mapped: median {median([r[0] for r in plain]) * 1000:.0f} ms "
          f"(min {min(r[0] for r in plain) * 1000:.0f}, max {max(r[0] for r in plain) * 1000:.0f})")
    print(f"after start-up: {memory([r[1] for r in plain])}")
    floor_mapped = median([r[0] for r in floor])
    floor_own = median([r[1][1] for r in floor])
    print(f"floor (bare Qt main window with a menu bar): window mapped median {floor_mapped * 1000:.0f} ms, "
          f"{memory([r[1] for r in floor])}")
    print(f"ratio to the floor: start {median([r[0] for r in plain]) / floor_mapped:.2f}, "
          f"own memory {median([r[1][1] for r in plain]) / floor_own:.2f}")
    print(f"built-in synthesizer chosen, before its first note: {memory([r[1] for r in synth])}; "
          f"start {median([r[0] for r in synth]) * 1000:.0f} ms")
    print(f"after its first note (sound font loaded): {memory([r[2] for r in synth])}")


if __name__ == "__main__":
    main()
