#!/usr/bin/env python3
"""Key press -> the first audible sample of the built-in synthesizer's note (GM 80, a square
lead that sounds at once), through a real X server (Xvfb), on two servers:
- JACK, dummy driver, 48 kHz, 64 frames: recorded at the synthesizer's own JACK port;
- PipeWire with WirePlumber and its pulse server (no JACK server): recorded at the default
  sink's monitor, the probe and the floor on PipeWire's JACK library asking for 64 frames;
each next to the floor on the same server (bench/key_sound_floor: an Xlib window that starts
a square wave in its audio callback), measured before and after the builds; on JACK also
next to the same window making the note with FluidSynth in its audio callback
(bench/key_fluid_floor), which tells what the synthesizer itself costs. Several builds
may be given (e.g. main's and a branch's) to set them side by side in one run. The probe
(bench/key_sound_probe of the first build that has it) times key and sound on JACK's frame clock.
Figures only; nothing is asserted.

Usage: bench_synth_latency.py ROUNDS BUILD_FOLDER [BUILD_FOLDER...]   (e.g. 40 build-tests)"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e", "program"))
import harness  # noqa: E402
from harness import JackServer, PipeWireServer, Servers, Session, wait_for  # noqa: E402
from bench_key_latency import figures, focus_window, ratio  # noqa: E402

SQUARE_LEAD = 80
SOUND_FONT = "/usr/share/sounds/sf2/TimGM6mb.sf2"  # the one the program finds first here
PERIOD = 64
SINK_MONITOR, SINK_INPUT = f"{PipeWireServer.SINK}:monitor_FL", f"{PipeWireServer.SINK}:playback_FL"


def probe(servers, bench, source, rounds, env):
    out = subprocess.run(servers.midi.command([os.path.join(bench, "key_sound_probe"), source, "z", str(rounds)]),
                         env=env, capture_output=True, text=True, timeout=60 + rounds * 5)
    if out.returncode != 0:
        raise RuntimeError(f"probe failed ({out.returncode}): {out.stderr}")
    return [int(line) / 1000.0 for line in out.stdout.split()]


def measure_window(servers, bench, command, title, source, rounds, env):
    """A floor program started with command: its window focused by title, source recorded."""
    floor = subprocess.Popen(servers.midi.command(command), env=env, preexec_fn=harness._end_with_parent)
    try:
        focus_window(servers, title)
        return probe(servers, bench, source, rounds, env)
    finally:
        floor.terminate()
        floor.wait()


def measure_floor(servers, bench, on_pipewire, rounds, env):
    command = [os.path.join(bench, "key_sound_floor")] + ([SINK_INPUT] if on_pipewire else [])
    source = SINK_MONITOR if on_pipewire else "SoundFloor:out"
    return measure_window(servers, bench, command, "Sound floor", source, rounds, env)


def measure_fluid_floor(servers, bench, rounds, env):
    """The floor with FluidSynth making the sound (JACK only): what the synthesizer itself costs."""
    command = [os.path.join(bench, "key_fluid_floor"), SOUND_FONT, str(SQUARE_LEAD)]
    return measure_window(servers, bench, command, "Fluid floor", "FluidFloor:out", rounds, env)


def measure_tessivar(servers, bench, build, on_pipewire, rounds, env):
    session = Session(servers, os.path.join(build, "program"))
    try:
        session.use_config(recording=0, recording_instrument=SQUARE_LEAD)
        session.start_program()
        ports = lambda: [p for p in servers.run(["jack_lsp"], check=False).stdout.splitlines()
                         if p.startswith("Tessivar synthesizer:")]
        source = SINK_MONITOR if on_pipewire else (wait_for(ports, 15) or ["(no synthesizer port)"])[0]
        time.sleep(2)  # the synthesizer made ready in the background, as a user's first minute does
        return probe(servers, bench, source, rounds, env)
    finally:
        session.close()


def run_on(server, bench, builds, rounds):
    on_pipewire = isinstance(server, PipeWireServer)
    servers = Servers(midi=server)
    servers.start()
    servers.run(["xset", "r", "off"], check=False)
    # Only the probe and the floor ask for 64 frames: the program asks for what it asks.
    env = dict(servers.env, PIPEWIRE_LATENCY=f"{PERIOD}/48000") if on_pipewire else servers.env
    try:
        floor = measure_floor(servers, bench, on_pipewire, rounds, env)
        fluid = None if on_pipewire else measure_fluid_floor(servers, bench, rounds, env)
        programs = [measure_tessivar(servers, bench, build, on_pipewire, rounds, env) for build in builds]
        floor += measure_floor(servers, bench, on_pipewire, rounds, env)
    finally:
        servers.stop()
    return floor, fluid, programs


def main():
    rounds = int(sys.argv[1])
    builds = [os.path.abspath(b) for b in sys.argv[2:]]
    # The probe and the floor of the first build that has them (an older build may not).
    bench = next((os.path.join(b, "bench") for b in builds if os.path.exists(os.path.join(b, "bench", "key_sound_probe"))),
                 os.path.join(builds[0], "bench"))
    results = [("JACK, dummy driver, 48 kHz, 64 frames; at the synthesizer's port", JackServer(period=PERIOD)),
               ("PipeWire + WirePlumber + pulse server, no JACK server; at the default sink's monitor",
                PipeWireServer())]
    print(f"key press -> first audible sample, {rounds} presses per program (floor: twice that); milliseconds")
    for title, server in results:
        floor, fluid, programs = run_on(server, bench, builds, rounds)
        f_text, f_median, f_p90 = figures(floor)
        print(f"{title}:\n  floor {f_text}")
        if fluid:
            text, median, p90 = figures(fluid)
            print(f"  FluidSynth floor: {text}; / floor: median {ratio(median, f_median)} p90 {ratio(p90, f_p90)}")
        for build, samples in zip(builds, programs):
            text, median, p90 = figures(samples)
            print(f"  {build}: {text}; / floor: median {ratio(median, f_median)} p90 {ratio(p90, f_p90)}",
                  flush=True)


if __name__ == "__main__":
    main()
