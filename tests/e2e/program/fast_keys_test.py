"""End-to-end: a key released and pressed again within the same millisecond, as a program
playing through XTest does it. Qt calls such a release an auto-repeat one; the X server
sends this program held keys as repeated presses, so it is a real release, and each press
must give its own note-on and each release its note-off, every time.

Usage: fast_keys_test.py PROGRAM_FOLDER [unittest options]"""

import ctypes
import ctypes.util
import os
import sys
import time
import unittest

from harness import PlayingTestCase, ProgramTestCase

PROGRAM_FOLDER = None
NOTE_ON, NOTE_OFF = 0x90, 0x80
ROUNDS = 200


class FakeKeyboard:
    """Key events put into the X server through XTest, several in one request batch, so
    that the server stamps them with the same time."""

    def __init__(self, display_name):
        self.x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
        self.xtst = ctypes.CDLL(ctypes.util.find_library("Xtst"))
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.display = self.x11.XOpenDisplay(display_name.encode())
        if not self.display:
            raise RuntimeError("cannot open the X display")

    def code(self, name):
        return self.x11.XKeysymToKeycode(self.display, self.x11.XStringToKeysym(name.encode()))

    def send(self, events):
        """events: (keycode, pressed) pairs, sent together."""
        for code, pressed in events:
            self.xtst.XTestFakeKeyEvent(self.display, code, 1 if pressed else 0, 0)
        self.x11.XSync(self.display, 0)

    def close(self):
        self.x11.XCloseDisplay(self.display)


class FastKeysTest(PlayingTestCase):
    def setUp(self):
        super().setUp()
        self.keyboard = FakeKeyboard(self.servers.display)
        self.addCleanup(self.keyboard.close)

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
