"""End-to-end: another JACK client plays into the program's MIDI input. The keys it plays
light on the window's picture (in a look of their own, under the player's keys) and go
out again by note-off, by note-on at velocity 0, by all-notes-off, and when the sender
disconnects; nothing of it reaches the output, whose bytes stay exact while the player's
keys sound alongside. The same under PipeWire's JACK library.

Usage: midi_input_test.py PROGRAM_FOLDER JACK_MIDI_SEND [unittest options]"""

import os
import subprocess
import sys
import threading
import time
import unittest

from harness import PipeWireServer, PlayingTestCase, ProgramTestCase, wait_for

JACK_MIDI_SEND = None
INPUT_PORT = "Tessivar:Tessivar input"
NOTE_ON, NOTE_OFF = 0x90, 0x80


class Sender:
    """A sender (jack_midi_send, alsa_midi_send) connected to the program's input: send()
    returns once the messages have left."""

    def __init__(self, servers, command):
        self._process = servers.popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL, text=True, bufsize=1)
        self.connected = self._process.stdout.readline().strip() == "ready"

    def send(self, *lines):
        for line in lines:
            self._process.stdin.write(line + "\n")
        for _ in lines:
            self._process.stdout.readline()

    def close(self):
        self._process.stdin.close()
        self._process.wait(timeout=5)
        self._process.stdout.close()


class PictureChecks:
    """The window's picture as screenshots of self.window."""

    def shot(self, name):
        return self.session.screenshot(self.window, name)

    def same(self, a, b):
        result = self.session.run(["compare", "-metric", "AE", a, b, os.devnull], check=False)
        return result.stderr.strip() == "0"

    def settles(self, name, condition):
        """The picture once condition holds for it (the program looks at its input every
        few milliseconds), or the last one taken."""
        return wait_for(lambda: (lambda shot: shot if condition(shot) else None)(self.shot(name)), 5, 0.1) \
            or self.shot(name)


class MidiInputTest(PictureChecks, PlayingTestCase):
    def test_notes_from_another_client_light_the_picture_and_play_nothing(self):
        session = self.session
        ports = wait_for(lambda: INPUT_PORT in session.run(["jack_lsp"], check=False).stdout.splitlines(), 5)
        self.assertTrue(ports, "the program has no MIDI input port")
        sender = Sender(self.servers, [JACK_MIDI_SEND, "sender", INPUT_PORT])
        self.addCleanup(sender.close)
        self.assertTrue(sender.connected, "the sender did not connect to " + INPUT_PORT)
        released = self.shot("released.png")

        sender.send("90 3c 64")  # middle C, the third octave's C: lit
        lit60 = self.settles("lit60.png", lambda s: not self.same(s, released))
        self.assertFalse(self.same(lit60, released), "a note from the input lit nothing")

        # The player's key sounds with its exact bytes while the input is busy.
        flood = threading.Thread(target=sender.send, args=["90 3e 64", "80 3e 00"] * 40)
        flood.start()
        session.key("x", "c")
        flood.join()
        self.assertEqual(self.monitor.wait_count(4), [(NOTE_ON, 38, 100), (NOTE_OFF, 38, 100),
                                                      (NOTE_ON, 40, 100), (NOTE_OFF, 40, 100)])
        self.assertTrue(self.same(self.settles("after-flood.png", lambda s: self.same(s, lit60)), lit60))

        # Z plays note 36; the input lighting the same key (on another channel) changes
        # nothing: a played key shows as played.
        session.key_down("z")
        self.assertEqual(self.monitor.wait_count(1), [(NOTE_ON, 36, 100)])
        played = self.settles("played.png", lambda s: not self.same(s, lit60))
        sender.send("91 24 50")
        time.sleep(0.3)
        self.assertTrue(self.same(self.shot("played-and-lit.png"), played), "an input note drew over a played key")
        # Released, the key shows what the input holds: lit, unlike played or up.
        session.key_up("z")
        self.assertEqual(self.monitor.wait_count(1), [(NOTE_OFF, 36, 100)])
        both = self.settles("both.png", lambda s: not self.same(s, played))
        self.assertFalse(self.same(both, played), "a lit key looks like a played one")
        self.assertFalse(self.same(both, lit60), "the key the input holds went out with the player's release")

        sender.send("80 3c 00")  # note-off: middle C out, note 36 stays
        only36 = self.settles("only36.png", lambda s: not self.same(s, both))
        self.assertFalse(self.same(only36, both))
        self.assertFalse(self.same(only36, released))
        sender.send("90 40 64")
        self.settles("e.png", lambda s: not self.same(s, only36))
        sender.send("90 40 00")  # note-on at velocity 0 is a note-off
        self.assertTrue(self.same(self.settles("e-out.png", lambda s: self.same(s, only36)), only36))
        sender.send("b0 7b 00")  # all notes off on channel 1: note 36 is held on channel 2
        time.sleep(0.3)
        self.assertTrue(self.same(self.shot("other-channel.png"), only36))
        sender.send("b1 78 00")  # all sound off on channel 2
        self.assertTrue(self.same(self.settles("all-off.png", lambda s: self.same(s, released)), released))

        # Notes left and right of the lit keys show nothing: 35 and 68 at octave 3.
        sender.send("90 23 64", "90 44 64")
        time.sleep(0.3)
        self.assertTrue(self.same(self.shot("outside.png"), released), "a note outside the picture lit a key")

        # A sender that disconnects takes its lit keys with it.
        sender.send("92 30 64", "92 31 64")
        self.assertFalse(self.same(self.settles("two.png", lambda s: not self.same(s, released)), released))
        sender.send("disconnect")
        self.assertTrue(self.same(self.settles("gone.png", lambda s: self.same(s, released)), released),
                        "the keys of a sender that went away stayed lit")
        self.assertEqual(self.monitor.wait_count(0, timeout=0.5), [], "the input's notes reached the output")


class MidiInputOnPipeWireTest(MidiInputTest):
    midi = PipeWireServer


if __name__ == "__main__":
    ProgramTestCase.program_folder = os.path.abspath(sys.argv.pop(1))
    JACK_MIDI_SEND = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
