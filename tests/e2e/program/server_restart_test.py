"""End-to-end: the MIDI server (JACK, or PipeWire with its JACK library) stops and starts
again under the running program (as a user does to change its settings, or a desktop
restarting its sound server), and the next notes play, without a restart of the program;
a note played while it is away gives one error box, not one per note.

Usage: server_restart_test.py PROGRAM_FOLDER [unittest options]"""

import time

import harness
from harness import WINDOW_TITLE, MidiMonitor, PipeWireServer, PlayingTestCase, wait_for
from pipewire_test import check_native_synthesizer_stream, synthesizer_peaks

NOTE_ON, NOTE_OFF = 0x90, 0x80
SYNTH, MONITOR = 0, 2  # the built-in synthesizer, the virtual output, then the monitor


class ServerRestartTest(PlayingTestCase):
    def stop_server(self):
        self.session.monitor.stop()
        self.servers.midi.stop(self.servers)

    def start_server(self):
        """The server again, with a monitor of the same name: the same port the program's
        configuration plays through."""
        self.servers.midi.start_again(self.servers)
        name = self.session.monitor.name
        self.monitor = self.session.monitor = MidiMonitor(self.servers, name)
        self.assertTrue(wait_for(lambda: self.monitor.port in self.session.jack_ports(), 5))

    def boxes(self):
        return len(self.session.find_windows(WINDOW_TITLE)) - 1  # beside the main window

    def test_the_next_notes_play_after_the_server_restarts(self):
        session = self.session
        session.key("z")
        self.assertEqual(self.monitor.wait_count(2), [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 100)])

        # Stopped and started again between two notes: the next one plays, and nothing fails.
        self.stop_server()
        self.start_server()
        session.key("x", "c")
        self.assertEqual(self.monitor.wait_count(4), [(NOTE_ON, 38, 100), (NOTE_OFF, 38, 100),
                                                      (NOTE_ON, 40, 100), (NOTE_OFF, 40, 100)])
        self.assertEqual(self.boxes(), 0)

        # Notes while the server is away: the first says so, the others are quiet.
        self.stop_server()
        session.key("z")
        box = wait_for(lambda: [w for w in session.find_windows(WINDOW_TITLE) if w != self.window])
        self.assertTrue(box, "no error box for the note that could not be sent")
        session.focus(box[0])
        session.key("Return")
        self.assertTrue(wait_for(lambda: self.boxes() == 0))
        session.focus(self.window)
        session.key("x", "space", "c", "v")
        time.sleep(1.0)
        self.assertEqual(self.boxes(), 0, "one box, not one per note")

        self.start_server()
        session.key("b")
        self.assertEqual(self.monitor.wait_count(2), [(NOTE_ON, 43, 100), (NOTE_OFF, 43, 100)])
        self.assertEqual(self.boxes(), 0)

    def test_the_synthesizer_plays_through_the_new_server_and_the_program_ends_cleanly(self):
        # The synthesizer's audio output is a JACK client of the program too (no other audio
        # output here); it is let go when the program reaches the new server, and made
        # again when the devices open again.
        session = self.session
        session.exit_through_menu(self.window)
        self.window, _ = self.start(recording=SYNTH, playing=MONITOR)
        synth_ports = lambda: [p for p in session.run(["jack_lsp"], check=False).stdout.splitlines()
                               if p.startswith("Tessivar synthesizer:")]
        self.assertTrue(wait_for(synth_ports, 10), "the synthesizer's audio output did not appear")
        self.stop_server()
        self.start_server()
        session.key("z", "space", "x")
        self.assertEqual(self.monitor.wait_count(4), [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 100),
                                                      (NOTE_ON, 38, 100), (NOTE_OFF, 38, 100)])
        self.assertTrue(wait_for(synth_ports, 10), "the synthesizer did not come back")
        self.assertEqual(self.boxes(), 0)
        self.assertEqual(session.exit_through_menu(self.window), 0)


class PipeWireRestartTest(ServerRestartTest):
    midi = PipeWireServer

    def test_the_synthesizer_plays_through_the_new_server_and_the_program_ends_cleanly(self):
        # Here the synthesizer plays to PipeWire itself, through a stream of its own, which
        # the restart ends: the next note has it made again, and is heard.
        session = self.session
        session.exit_through_menu(self.window)
        self.window, _ = self.start(recording=SYNTH, playing=MONITOR)
        session.key("z")
        self.monitor.wait_count(2)
        check_native_synthesizer_stream(self)
        self.stop_server()
        self.start_server()
        quiet, playing = synthesizer_peaks(self)  # its first note finds the stream gone
        self.assertLess(quiet, 100, "the sink was not silent before the note")
        self.assertGreater(playing, 300, "the synthesizer was not heard after the restart")
        check_native_synthesizer_stream(self)
        self.assertEqual(self.monitor.wait_count(2), [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 100)])
        self.assertEqual(self.boxes(), 0)
        self.assertEqual(session.exit_through_menu(self.window), 0)


if __name__ == "__main__":
    harness.main()
