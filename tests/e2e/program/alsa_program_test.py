"""End-to-end over the ALSA sequencer: the built program under Xvfb on a machine whose
sequencer has the kernel's "Midi Through" client, four VirMIDI clients and a monitor
client (alsa_midi_dump) that reads "Midi Through". Run in a guest that has them
(scripts/in_guest.py); elsewhere it reports itself skipped.

Usage: alsa_program_test.py PROGRAM_FOLDER ALSA_MIDI_DUMP ALSA_MIDI_SEND [unittest options]"""

import os
import sys
import time
import unittest

from harness import MachineSequencer, MidiMonitor, ProgramTestCase, config_bytes, short_string, wait_for
from midi_input_test import PictureChecks, Sender

ALSA_MIDI_DUMP = ALSA_MIDI_SEND = None
MIDI_THROUGH = "14:0"
# The program lists the built-in synthesizer, its virtual output, then the sequencer's
# destinations in the sequencer's order: "Midi Through", four VirMIDI ports, the monitor.
THROUGH_DEVICE, MONITOR_DEVICE = 2, 7
NOTE_ON, NOTE_OFF = 0x90, 0x80


def sounding(messages):
    """The (channel, note) pairs a receiver of these messages still hears."""
    on = set()
    for message in messages:
        kind, key = message[0] & 0xF0, (message[0] & 0x0F, message[1])
        if kind == NOTE_ON and message[2] > 0:
            on.add(key)
        elif kind in (NOTE_ON, NOTE_OFF):
            on.discard(key)
    return on


@unittest.skipUnless(os.access("/dev/snd/seq", os.R_OK | os.W_OK), "no ALSA sequencer here")
class AlsaProgramTest(PictureChecks, ProgramTestCase):
    midi = MachineSequencer

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.servers.desktop.auto_repeat(cls.servers, False)  # a repeated press strikes again

    def setUp(self):
        super().setUp()
        self.monitor = MidiMonitor(self.servers, "monitor", [ALSA_MIDI_DUMP, "monitor", MIDI_THROUGH])
        self.addCleanup(self.monitor.stop)
        self.assertTrue(wait_for(lambda: self.monitor.ready, 10), "the monitor did not start")

    def test_plays_to_the_sequencers_ports_silences_them_and_saves_at_exit(self):
        session = self.session
        # Recording through "Midi Through", playing straight to the monitor, the last port.
        settings = dict(recording=THROUGH_DEVICE, playing=MONITOR_DEVICE, recording_channel=1,
                        playing_channel=2, recording_instrument=5)
        window, _ = self.start(**settings)
        session.key("z")
        self.assertEqual(self.monitor.wait_count(5), [(0xC0, 5), (NOTE_ON, 36, 100), (NOTE_ON + 1, 36, 100),
                                                      (NOTE_OFF, 36, 100), (NOTE_OFF + 1, 36, 100)])
        heard = []
        for silencer in ("space", "F5"):
            session.key_down("z")
            session.key_down("x")
            played = self.monitor.wait_count(4)
            self.assertEqual(len(sounding(played)), 4, f"{played} before {silencer}")
            session.key(silencer)
            heard += played + self.monitor.wait_count(4)
            self.assertEqual(sounding(heard), set(), f"still sounding after {silencer}: {heard}")
            session.key_up("z")
            session.key_up("x")
            heard += self.monitor.wait_count(0, timeout=0.5)
        # F5 chose octave 4: Z is note 48 now, on both devices again.
        session.key("z")
        played = self.monitor.wait_count(5)
        self.assertIn((NOTE_ON, 48, 100), played)
        self.assertIn((NOTE_ON + 1, 48, 100), played)
        self.assertEqual(sounding(played), set())

        self.assertEqual(session.exit_through_menu(window), 0, session.output())
        self.assertEqual(session.read("CONFIGS/E2E.cfg"), config_bytes("E2E.cfg", octave=4, **settings))
        self.assertEqual(session.read("setup.ini"), short_string("E2E.cfg"))
        time.sleep(0.3)
        self.assertEqual(sounding(self.monitor.take()), set())

    def test_notes_played_into_the_input_light_the_picture_and_play_nothing(self):
        self.window, _ = self.start(recording=THROUGH_DEVICE)
        session = self.session

        def connected_sender():
            sender = Sender(self.servers, [ALSA_MIDI_SEND, "sender", "Tessivar input", "Tessivar input"])
            self.addCleanup(sender.close)
            return sender if sender.connected else None
        sender = wait_for(connected_sender, 10, 0.2)
        self.assertTrue(sender, "no sequencer port \"Tessivar input\" to connect to")
        released = self.shot("released.png")
        sender.send("90 3c 64")
        lit = self.settles("lit.png", lambda s: not self.same(s, released))
        self.assertFalse(self.same(lit, released), "a note from the input lit nothing")
        # The player's key sounds with its exact bytes, and shows as played over the lit one.
        sender.send("90 24 64")
        both = self.settles("both.png", lambda s: not self.same(s, lit))
        session.key_down("z")
        self.assertEqual(self.monitor.wait_count(1), [(NOTE_ON, 36, 100)])
        played = self.settles("played.png", lambda s: not self.same(s, both))
        self.assertFalse(self.same(played, both), "a played key looks like a lit one")
        session.key_up("z")
        self.assertEqual(self.monitor.wait_count(1), [(NOTE_OFF, 36, 100)])
        self.assertTrue(self.same(self.settles("lit-again.png", lambda s: self.same(s, both)), both))
        sender.send("80 24 00", "90 3c 00")  # note-off, and note-on at velocity 0
        self.assertTrue(self.same(self.settles("out.png", lambda s: self.same(s, released)), released))
        # A sender that disconnects takes its lit keys with it.
        sender.send("90 30 64")
        self.assertFalse(self.same(self.settles("one.png", lambda s: not self.same(s, released)), released))
        sender.send("disconnect")
        self.assertTrue(self.same(self.settles("gone.png", lambda s: self.same(s, released)), released),
                        "the keys of a sender that went away stayed lit")
        self.assertEqual(self.monitor.wait_count(0, timeout=0.5), [], "the input's notes reached the output")


if __name__ == "__main__":
    ProgramTestCase.program_folder = os.path.abspath(sys.argv.pop(1))
    ALSA_MIDI_DUMP = os.path.abspath(sys.argv.pop(1))
    ALSA_MIDI_SEND = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
