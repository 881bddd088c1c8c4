"""End-to-end: a key released and pressed again within the same millisecond, as a program
playing through XTest does it. Qt calls such a release an auto-repeat one; the X server
sends this program held keys as repeated presses, so it is a real release, and each press
must give its own note-on and each release its note-off, every time.

Usage: fast_keys_test.py PROGRAM_FOLDER [unittest options]"""

import os
import sys
import time
import unittest

from harness import PlayingTestCase, ProgramTestCase

PROGRAM_FOLDER = None
NOTE_ON, NOTE_OFF = 0x90, 0x80
ROUNDS = 200


class FastKeysTest(PlayingTestCase):
    def test_a_key_struck_again_within_a_millisecond_plays_every_time(self):
        z = self.keyboard.code("z")
        for _ in range(ROUNDS):
            # Press, release and press again at once, then release after a pause.
            self.keyboard.send([(z, True), (z, False), (z, True)])
            time.sleep(0.005)
            self.keyboard.send([(z, False)])
            time.sleep(0.005)
        messages = self.monitor.wait_count(4 * ROUNDS, timeout=20)
        notes = [m for m in messages if m[0] in (NOTE_ON, NOTE_OFF)]
        self.assertEqual(notes.count((NOTE_ON, 36, 100)), 2 * ROUNDS, "presses without a note-on")
        self.assertEqual(notes.count((NOTE_OFF, 36, 100)), 2 * ROUNDS, "releases without a note-off")
        # Each note ends before the next begins.
        for index, message in enumerate(notes):
            self.assertEqual(message[0], NOTE_ON if index % 2 == 0 else NOTE_OFF, f"message {index}")

    def test_a_held_key_repeating_stays_one_note(self):
        # The server's own auto-repeat, fast: a held key must still be one note.
        self.servers.run(["xset", "r", "on", "r", "rate", "100", "50"], check=False)
        self.addCleanup(self.servers.run, ["xset", "r", "off"], check=False)
        z = self.keyboard.code("z")
        for _ in range(3):
            self.keyboard.send([(z, True)])
            time.sleep(0.6)  # about 25 repeats
            self.keyboard.send([(z, False)])
            time.sleep(0.05)
        messages = self.monitor.wait_count(6, timeout=5)
        self.assertEqual(messages, [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 100)] * 3)

if __name__ == "__main__":
    PROGRAM_FOLDER = os.path.abspath(sys.argv.pop(1))
    ProgramTestCase.program_folder = PROGRAM_FOLDER
    unittest.main(verbosity=2)
