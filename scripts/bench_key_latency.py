#!/usr/bin/env python3
"""Key press -> note-on at a JACK port through a real X server (Xvfb) and a dummy-driver
JACK server, for Tessivar and for the floor program (bench/key_note_floor, the least
program that turns an X key press into a JACK MIDI note), side by side in one run:
a repeated key, the first key after F4, the first key after Space, and Space -> the note-off
of a held key (the floors end their held notes on Space too). Then the built-in
synthesizer: key press -> sound for a first note 3 s after the window shows and for a
later note. Figures only; nothing is asserted.

A third column measures bench/key_note_qt_floor, a bare Qt main window with a menu bar that
writes the note from its key handler: what Qt's own input path costs. With --variants only the
repeated key is measured, for that Qt floor in the variants its input path was taken apart with.

Usage: bench_key_latency.py BUILD_FOLDER [ROUNDS] [--variants]   (BUILD_FOLDER: e.g. build-tests)"""

import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e", "program"))
import harness  # noqa: E402
from harness import JackServer, Servers, Session, wait_for  # noqa: E402

MONITOR = 2  # the built-in synthesizer, the virtual output, then the session's monitor
SILENCE = "Space silencing a held key"  # a case measured from Space to the held note's note-off
PERIOD = 32  # frames per JACK cycle at 48 kHz: 0.67 ms, so the cycle hides little


def probe(servers, bench, mode, source, key, count, before=None):
    if before == SILENCE:
        mode, before = "silence", "space"
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


def measure_program(servers, bench, command, title, port, cases, rounds, env=None):
    """Starts a floor program, gives its window the focus and measures every case."""
    program = subprocess.Popen(command, env=dict(servers.env, **(env or {})), preexec_fn=harness._end_with_parent)
    try:
        focus_window(servers, title)
        return {name: probe(servers, bench, "midi", port, "z", rounds, before) for name, before in cases}
    finally:
        program.terminate()
        program.wait()


def measure_tessivar(servers, folder, bench, cases, rounds, env=None):
    saved = dict(servers.env)
    servers.env.update(env or {})
    session = Session(servers, folder)
    try:
        session.use_config(recording=MONITOR)
        session.start_program()
        session.key("z")  # the device's port is made at its first open
        wait_for(lambda: "Tessivar:output" in session.jack_ports(), 5)
        return {name: probe(servers, bench, "midi", "Tessivar:output", "z", rounds, before) for name, before in cases}
    finally:
        session.close()
        servers.env.clear()
        servers.env.update(saved)


def figures(samples):
    median, p90, lost = summary(samples)
    if median is None:
        return "no note", None, None
    return f"median {median:.2f} p90 {p90:.2f}" + (f" ({lost} lost)" if lost else ""), median, p90


def ratio(value, floor):
    return f"{value / floor:.2f}" if value is not None and floor else "-"


# The Qt floor's variants the input path was taken apart with: (label, arguments, environment,
# command prefix).
QT_VARIANTS = [
    ("keyPressEvent, menu bar", [], {}, []),
    ("QWidget::event", ["event"], {}, []),
    ("no menu bar", ["nomenu"], {}, []),
    ("QT_NO_GLIB=1", [], {"QT_NO_GLIB": "1"}, []),
    ("QT_IM_MODULE=none", [], {"QT_IM_MODULE": "none"}, []),
    ("QT_XCB_NO_XI2=1", [], {"QT_XCB_NO_XI2": "1"}, []),
    ("native event filter", ["native"], {}, []),
    ("native, QT_NO_GLIB=1", ["native"], {"QT_NO_GLIB": "1"}, []),
    ("own thread, second X connection", ["thread"], {}, []),
    ("own thread at real-time priority", ["thread", "rt"], {}, []),
    ("real-time priority (chrt -f 10)", [], {}, ["chrt", "-f", "10"]),
    # These also print, from the program, the time from the raw X event to the key handler.
    ("keyPressEvent, timed inside", ["split"], {}, []),
    ("keyPressEvent, timed, QT_NO_GLIB=1", ["split"], {"QT_NO_GLIB": "1"}, []),
]


def main():
    build = os.path.abspath(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    variants = "--variants" in sys.argv[3:]
    bench = os.path.join(build, "bench")
    folder = os.path.join(build, "program")
    cases = [("repeated key", None), ("first key after F4", "F4"), ("first key after Space", "space"),
             ("Space -> note-off of a held key", SILENCE)]
    floor_command = [os.path.join(bench, "key_note_floor")]
    qt_command = [os.path.join(bench, "key_note_qt_floor")]
    # A JACK cycle short enough to measure milliseconds.
    servers = Servers(midi=JackServer(period=PERIOD))
    servers.start()
    servers.run(["xset", "r", "off"], check=False)
    try:
        floor = measure_program(servers, bench, floor_command, "Floor", "Floor:out", cases, rounds)
        if variants:
            # Every variant on the repeated key, each next to the Xlib floor measured right after it.
            print(f"JACK dummy driver, {PERIOD} frames at 48 kHz; {rounds} presses per figure; repeated key; "
                  "milliseconds; ratios against the Xlib floor measured right after each")
            rows = [(label, lambda a=args, e=env, p=prefix: measure_program(
                servers, bench, p + qt_command + a, "Qt floor", "QtFloor:out", cases[:1], rounds, e))
                for label, args, env, prefix in QT_VARIANTS]
            rows.append(("Tessivar", lambda: measure_tessivar(servers, folder, bench, cases[:1], rounds)))
            rows.append(("Tessivar, QT_NO_GLIB=1", lambda: measure_tessivar(
                servers, folder, bench, cases[:1], rounds, {"QT_NO_GLIB": "1"})))
            for label, run in rows:
                text, median, p90 = figures(run()[cases[0][0]])
                again = measure_program(servers, bench, floor_command, "Floor", "Floor:out", cases[:1], rounds)
                f_text, f_median, f_p90 = figures(again[cases[0][0]])
                print(f"{label:34s} {text:24s} | Xlib floor {f_text:24s} | ratio median {ratio(median, f_median)} "
                      f"p90 {ratio(p90, f_p90)}", flush=True)
            return
        qt = measure_program(servers, bench, qt_command, "Qt floor", "QtFloor:out", cases, rounds)
        tessivar = measure_tessivar(servers, folder, bench, cases, rounds)

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
    print("ratios: Tessivar against the Xlib floor (the goal), and against the Qt floor")
    for name, _ in cases:
        f_text, f_median, f_p90 = figures(floor[name])
        q_text, q_median, q_p90 = figures(qt[name])
        t_text, t_median, t_p90 = figures(tessivar[name])
        print(f"{name}:")
        print(f"  Xlib floor {f_text:22s} Qt floor {q_text:22s} Tessivar {t_text}")
        print(f"  Tessivar / Xlib floor: median {ratio(t_median, f_median)} p90 {ratio(t_p90, f_p90)};"
              f"  / Qt floor: median {ratio(t_median, q_median)} p90 {ratio(t_p90, q_p90)};"
              f"  Qt floor / Xlib floor: median {ratio(q_median, f_median)} p90 {ratio(q_p90, f_p90)}")
    first, later = synth
    print(f"built-in synthesizer, key -> sound: first note 3 s after the window {first:.1f}, "
          f"a later note {later:.1f}, apart {first - later:.1f}")


if __name__ == "__main__":
    main()
