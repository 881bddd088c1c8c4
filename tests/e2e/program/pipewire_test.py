"""End-to-end: the program under PipeWire, on its JACK library: the program's port and the
device list, notes with their exact bytes at a PipeWire JACK client, and the built-in
synthesizer heard at PipeWire's default sink through a stream of its own (not the pulse
server), with the small latency it asks for.

Usage: pipewire_test.py PROGRAM_FOLDER [unittest options]"""

import array
import json
import os
import time
import wave

import harness
from harness import PipeWireServer, ProgramTestCase, accessible_texts, wait_for

SYNTH, VIRTUAL, MONITOR = 0, 1, 2
NOTE_ON, NOTE_OFF = 0x90, 0x80


def peak(path, start, end):
    """The largest sample of a 16-bit recording between two times in seconds."""
    with wave.open(path) as recording:
        rate, channels = recording.getframerate(), recording.getnchannels()
        recording.setpos(min(int(start * rate), recording.getnframes()))
        samples = array.array("h", recording.readframes(max(0, int((end - start) * rate))))
    return max((abs(s) for s in samples), default=0) if channels else 0


class PipeWireTest(ProgramTestCase):
    midi = PipeWireServer

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.servers.session_bus()  # the device menus are read through it

    def test_the_port_and_the_device_list(self):
        window, _ = self.start(recording=VIRTUAL)
        session = self.session
        ports = wait_for(lambda: [p for p in session.jack_ports() if p.startswith("Tessivar:")])
        self.assertTrue(ports, f"no Tessivar port among {session.jack_ports()}")
        for menu in ("Recording Output Device", "Playing Output Device"):
            self.assertEqual(accessible_texts(self.servers, harness.WINDOW_TITLE, "Setup", menu),
                             ["Built-in synthesizer", "Tessivar virtual output", self.monitor.port])
        session.run(["jack_connect", ports[0], self.monitor.port])
        time.sleep(0.1)
        session.key("z")
        self.assertEqual(self.monitor.wait_count(2), [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 100)])

    def test_notes_reach_a_pipewire_jack_client_with_their_exact_bytes(self):
        self.start(recording=MONITOR, recording_instrument=5, recording_channel=3)
        self.session.key("z", "q")
        self.assertEqual(self.monitor.wait_count(5), [(0xC2, 5), (NOTE_ON + 2, 36, 100), (NOTE_OFF + 2, 36, 100),
                                                      (NOTE_ON + 2, 48, 100), (NOTE_OFF + 2, 48, 100)])
        self.session.key("F6", "z")  # octave 5; the device reopens: its program again, then the note
        self.assertEqual(self.monitor.wait_count(3), [(0xC2, 5), (NOTE_ON + 2, 60, 100), (NOTE_OFF + 2, 60, 100)])

    def test_the_builtin_synthesizer_is_heard_through_a_native_stream(self):
        self.start(recording=SYNTH)
        check_native_synthesizer_stream(self)
        quiet, playing = synthesizer_peaks(self)
        self.assertLess(quiet, 100, "the sink was not silent before the note")
        self.assertGreater(playing, 300, "the note was not heard at the sink")


def check_native_synthesizer_stream(test):
    """The synthesizer's output is a PipeWire stream node of the program's own client (not a
    client of the pulse server), playing to the default sink at a 64-frame quantum."""
    def program_streams():
        objects = json.loads(test.servers.run(["pw-dump"], check=False).stdout or "[]")
        props = {o["id"]: (o.get("type", ""), o.get("info", {}).get("props", {})) for o in objects}
        return [(node, props.get(node.get("client.id"), ("", {}))[1]) for kind, node in props.values()
                if kind.endswith(":Node") and node.get("media.class") == "Stream/Output/Audio"
                and node.get("application.name") == "Tessivar"]

    streams = wait_for(program_streams, 10)
    test.assertEqual(len(streams or []), 1, f"the program's audio streams: {streams}")
    node, client = streams[0]
    test.assertEqual(node.get("node.name"), "Tessivar synthesizer")
    test.assertEqual(node.get("node.latency"), "64/48000")
    test.assertEqual(client.get("application.name"), "Tessivar")
    test.assertNotEqual(client.get("client.api"), "pipewire-pulse", "a client of the pulse server")
    test.assertEqual(node.get("media.role"), "Music")


def synthesizer_peaks(test):
    """Records PipeWire's default sink while the test's program holds Z for a second: the
    peaks before the note and while it sounds."""
    recording = test.session.path("sink.wav")
    recorder = test.servers.popen(["pw-record", "--target", PipeWireServer.SINK, "-P",
                                   "{ stream.capture.sink = true }", "--format", "s16", "--rate", "48000",
                                   "--channels", "2", recording])
    try:
        time.sleep(1.5)  # silence first
        test.session.key_down("z")
        time.sleep(1.0)
        test.session.key_up("z")
        time.sleep(0.5)
    finally:
        recorder.terminate()
        recorder.wait(timeout=5)
    quiet, playing = peak(recording, 0.1, 0.8), peak(recording, 1.6, 2.5)
    print(f"peak before the note {quiet}, while it sounds {playing} (of 32767)")
    return quiet, playing


if __name__ == "__main__":
    harness.main()
