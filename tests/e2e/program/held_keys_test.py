"""End-to-end: keys held while every device is closed (Space, an octave key) and while the
program ends. Each held note's note-off must reach the JACK monitor before the key is
released, every time, and the release then sends nothing more; at exit, before the
program's JACK client is gone.

Usage: held_keys_test.py PROGRAM_FOLDER [unittest options]"""

import ctypes
import ctypes.util
import os
import sys
import time
import unittest

from harness import PlayingTestCase, ProgramTestCase, wait_for

PROGRAM_FOLDER = None
NOTE_ON, NOTE_OFF = 0x90, 0x80
ROUNDS = 30


class XClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("client", XClientMessage), ("pad", ctypes.c_long * 24)]


def ask_window_to_close(display_name, window):
    """What a window manager's close button does: a WM_DELETE_WINDOW message."""
    x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(display_name.encode())
    if not display:
        raise RuntimeError("cannot open the X display")
    event = XEvent()
    event.client.type = 33  # ClientMessage
    event.client.window = int(window)
    event.client.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.client.format = 32
    event.client.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, int(window), 0, 0, ctypes.byref(event))
    x11.XFlush(display)
    x11.XCloseDisplay(display)


class HeldKeysTest(PlayingTestCase):
    def wait_for_message(self, expected, timeout=3.0):
        """Every message up to and including the expected one, once it came (or all of them
        when it did not come in time)."""
        seen = []

        def arrived():
            seen.extend(self.monitor.take())
            return expected in seen

        wait_for(arrived, timeout, 0.005)
        return seen

    def hold_and_silence(self, silencing_key):
        session = self.session
        for round in range(ROUNDS):
            session.key_down("z")
            self.assertEqual(self.wait_for_message((NOTE_ON, 36, 100)), [(NOTE_ON, 36, 100)],
                             f"round {round}: the note did not start")
            session.key(silencing_key)
            self.assertEqual(self.wait_for_message((NOTE_OFF, 36, 0)), [(NOTE_OFF, 36, 0)],
                             f"round {round}: no note-off while the key was held")
            session.key_up("z")
        # The close ended each note: the releases sent nothing more, nor opened anything.
        self.assertIsNone(session.program.poll(), "the program ended")
        self.assertEqual(self.monitor.wait_count(1, timeout=0.3), [], "something followed")

    def test_space_silences_a_held_key_every_time(self):
        self.hold_and_silence("space")

    def test_an_octave_key_silences_a_held_key_every_time(self):
        # F4 chooses octave 3, the octave in use: Z stays note 36.
        self.hold_and_silence("F4")

    def test_space_typed_at_full_speed_leaves_no_note_on(self):
        session = self.session
        for _ in range(ROUNDS):
            session.key_down("z")
            session.key("space")
            session.key_up("z")
        messages = self.monitor.wait_count(3 * ROUNDS, timeout=10)
        notes = [m for m in messages if m[0] in (NOTE_ON, NOTE_OFF)]
        self.assertEqual(notes.count((NOTE_ON, 36, 100)), ROUNDS, messages)
        # Every note-on is ended before the next one, by Space.
        sounding = False
        for message in notes:
            if message[0] == NOTE_ON:
                self.assertFalse(sounding, f"a note-on while the note still sounded: {messages}")
            sounding = message[0] == NOTE_ON
        self.assertFalse(sounding, "the last note was left on")

    def test_keys_held_at_exit_get_their_note_offs_before_the_program_leaves_jack(self):
        session = self.session
        session.key_down("z")
        session.key_down("x")
        self.assertEqual(self.monitor.wait_count(2), [(NOTE_ON, 36, 100), (NOTE_ON, 38, 100)])
        ask_window_to_close(self.servers.display, self.window)
        self.assertEqual(session.wait_exit(), 0)
        self.assertFalse([p for p in session.jack_ports() if p.startswith("Tessivar:")],
                         "the program's client outlived it")
        session.key_up("z")
        session.key_up("x")
        offs = [m for m in self.monitor.wait_count(2, timeout=1.0) if m[0] == NOTE_OFF]
        self.assertEqual(sorted(m[1] for m in offs), [36, 38], offs)


if __name__ == "__main__":
    PROGRAM_FOLDER = os.path.abspath(sys.argv.pop(1))
    ProgramTestCase.program_folder = PROGRAM_FOLDER
    unittest.main(verbosity=2)
