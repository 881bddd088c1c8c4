#!/usr/bin/env python3
"""Key press -> note-on at a JACK port through a real X server (Xvfb) and a dummy-driver
JACK server, for Tessivar and for the floor program (bench/key_note_floor, the least
program that turns an X key press into a JACK MIDI note), side by side in one run:
a repeated key, the first key after F4, the first key after Space. Then the built-in
synthesizer: key press -> sound for a first note 3 s after the window shows and for a
later note. Figures only; nothing is asserted.

Usage: bench_key_latency.py BUILD_FOLDER [ROUNDS]   (BUILD_FOLDER: e.g. build-tests)"""

import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e", "program"))
import harness  # noqa: E402
from harness import Servers, Session, wait_for  # noqa: E402

MONITOR = 2  # the built-in synthesizer, the virtual output, then the session's monitor
PERIOD = 32  # frames per JACK cycle at 48 kHz: 0.67 ms, so the cycle hides little


class FineServers(Servers):
    """The test servers, with a JACK cycle short enough to measure milliseconds."""

    def _start_jack(self):
        jack = subprocess.Popen(["jackd", "-n", self.env["JACK_DEFAULT_SERVER"], "-d", "dummy", "-r", "48000",
                                 "-p", str(PERIOD)], env=self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, preexec_fn=harness._end_with_parent)
        self.processes.append(jack)
        started = wait_for(lambda: jack.poll() is not None or self.run(["jack_lsp"], check=False).returncode == 0, 10)
        return started and jack.poll() is None


def probe(servers, bench, mode, source, key, count, before=None):
    command = [os.path.join(bench, "key_note_probe"), mode, source, key, str(count)]
    if before:
        command.append(before)
    out = servers.run(command, check=False, timeout=120)
    if out.returncode != 0:
        raise RuntimeError(f"probe failed ({out.returncode}): {out.stderr}")
    return [int(line) / 1000.0 for line in out.stdout.split()]


def summary(samples):
    got = sorted(s for s in samples if s >= 0)
    lost = len(samples) - len(got)
    if not got:
        return None, None, lost
    p90 = got[min(len(got) - 1, int(round(0.9 * (len(got) - 1))))]
    return statistics.median(got), p90, lost


def focus_window(servers, title):
    windows = wait_for(lambda: servers.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"],
                                           check=False).stdout.split(), 15)
    if not windows:
        raise RuntimeError(f"no window {title}")
    servers.run(["xdotool", "windowfocus", "--sync", windows[0]], check=False)
    time.sleep(0.3)
    return windows[0]


def main():
    build = os.path.abspath(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    bench = os.path.join(build, "bench")
    folder = os.path.join(build, "program")
    cases = [("repeated key", None), ("first key after F4", "F4"), ("first key after Space", "space")]
    servers = FineServers()
    servers.start()
    servers.run(["xset", "r", "off"], check=False)
    results = {}
    try:
        floor = subprocess.Popen([os.path.join(bench, "key_note_floor")], env=servers.env,
                                 preexec_fn=harness._end_with_parent)
        focus_window(servers, "Floor")
        for name, before in cases:
            results[("floor", name)] = probe(servers, bench, "midi", "Floor:out", "z", rounds, before)
        floor.terminate()
        floor.wait()

        session = Session(servers, folder)
        try:
            session.use_config(recording=MONITOR)
            session.start_program()
            session.key("z")  # the device's port is made at its first open
            wait_for(lambda: "Tessivar:output" in session.jack_ports(), 5)
            for name, before in cases:
                results[("tessivar", name)] = probe(servers, bench, "midi", "Tessivar:output", "z", rounds, before)
        finally:
            session.close()

        session = Session(servers, folder)
        try:
            session.use_config(recording=0)
            session.start_program()
            # Port names hold spaces here: one name a line.
            ports = lambda: servers.run(["jack_lsp"], check=False).stdout.splitlines()
            port = wait_for(lambda: [p for p in ports() if p.startswith("Tessivar synthesizer:")], 10)
            synth = probe(servers, bench, "audio", port[0], "z", 3000) if port else [-1, -1]
        finally:
            session.close()
    finally:
        servers.stop()

    print(f"JACK dummy driver, {PERIOD} frames at 48 kHz; {rounds} presses per case; milliseconds")
    for name, _ in cases:
        f_median, f_p90, f_lost = summary(results[("floor", name)])
        t_median, t_p90, t_lost = summary(results[("tessivar", name)])
        print(f"{name:24s} floor median {f_median:.2f} p90 {f_p90:.2f} | Tessivar median {t_median:.2f} "
              f"p90 {t_p90:.2f} | ratio median {t_median / f_median:.2f} p90 {t_p90 / f_p90:.2f}"
              f"{f' | no note within 3 s: floor {f_lost}, Tessivar {t_lost}' if t_lost + f_lost else ''}")
    first, later = synth
    print(f"built-in synthesizer, key -> sound: first note 3 s after the window {first:.1f}, "
          f"a later note {later:.1f}, apart {first - later:.1f}")


if __name__ == "__main__":
    main()
