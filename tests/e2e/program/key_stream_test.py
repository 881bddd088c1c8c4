"""End-to-end, on X11: every press gives exactly one note-on and every release one note-off,
in order, at full speed, also on a busy machine; a key that comes right behind F10 or a
click that opens a menu (in the same batch, before the program has handled either) plays
nothing, as when the menu took the keyboard first; and another client's grab of the
keyboard, however short, ends the held notes, also of a press read in the same batch as
the grab.

Usage: key_stream_test.py PROGRAM_FOLDER [unittest options]"""

import os
import random
import subprocess
import sys
import time
import unittest

from harness import PlayingTestCase, ProgramTestCase

PROGRAM_FOLDER = None
NOTE_ON, NOTE_OFF = 0x90, 0x80


class KeyStreamTest(PlayingTestCase):
    def setUp(self):
        super().setUp()
        self.input = self.keyboard

    def notes(self, timeout=1.0):
        """The note messages that came within the timeout after the last one."""
        seen = []
        while True:
            more = [m for m in self.monitor.wait_count(1, timeout) if m[0] in (NOTE_ON, NOTE_OFF)]
            if not more:
                return seen
            seen.extend(more)

    def test_every_press_and_release_plays_once_in_order_at_full_speed(self):
        self.play_random_batches(400, random.Random(10))

    def test_every_press_and_release_plays_once_in_order_on_a_busy_machine(self):
        # Processes that keep every processor busy: the program reads the X server's events
        # in larger batches, at paces less alike.
        busy = [subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(os.cpu_count() or 2)]
        for process in busy:
            self.addCleanup(process.wait)
            self.addCleanup(process.kill)
        self.play_random_batches(300, random.Random(11))

    def play_random_batches(self, rounds, generator):
        """Random batches of presses and releases at full speed: each plays exactly once."""
        names = ["z", "s", "x", "d", "c", "v", "q", "w"]
        codes = [self.input.code(name) for name in names]
        shift = self.input.code("Shift_L")
        held = set()
        presses = releases = 0
        for _ in range(rounds):
            # A few events at once, some under Shift.
            batch = []
            for _ in range(generator.randint(1, 4)):
                code = generator.choice(codes)
                if code in held:
                    batch.append((code, False))
                    held.discard(code)
                    releases += 1
                else:
                    batch.append((code, True))
                    held.add(code)
                    presses += 1
            if generator.random() < 0.1:
                batch = [(shift, True)] + batch + [(shift, False)]
            self.input.send(batch)
            if generator.random() < 0.3:
                time.sleep(0.001)
        self.input.send([(code, False) for code in held])
        releases += len(held)

        notes = self.notes(timeout=2.0)
        self.assertEqual(sum(1 for m in notes if m[0] == NOTE_ON), presses, "note-ons against presses")
        self.assertEqual(sum(1 for m in notes if m[0] == NOTE_OFF), releases, "note-offs against releases")
        # Each note sounds once at a time and ends before it starts again.
        sounding = set()
        for index, (status, note, _) in enumerate(notes):
            if status == NOTE_ON:
                self.assertNotIn(note, sounding, f"note {note} on twice (message {index})")
                sounding.add(note)
            else:
                self.assertIn(note, sounding, f"note {note} off while not on (message {index})")
                sounding.discard(note)
        self.assertEqual(sounding, set())

    def play_alone(self, z):
        """A lone press and release of z plays one note, once the menu is gone."""
        self.input.send([(z, True)])
        self.input.send([(z, False)])
        notes = [m for m in self.monitor.wait_count(2, 1.0) if m[0] in (NOTE_ON, NOTE_OFF)]
        self.assertEqual(notes, [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 100)], "a key after the menu closed")

    def close_menu(self, escape):
        self.input.send([(escape, True), (escape, False)])
        time.sleep(0.05)
        self.input.send([(escape, True), (escape, False)])
        time.sleep(0.1)

    def test_a_key_right_behind_f10_plays_nothing(self):
        z, f10, escape = self.input.code("z"), self.input.code("F10"), self.input.code("Escape")
        for round in range(40):
            self.input.send([(f10, True), (f10, False), (z, True)])
            self.assertEqual(self.notes(timeout=0.1), [], f"round {round}: the key behind F10 played")
            self.input.send([(z, False)])
            self.close_menu(escape)
            self.play_alone(z)

    def test_a_key_right_behind_a_click_on_the_menu_bar_plays_nothing(self):
        z, escape = self.input.code("z"), self.input.code("Escape")
        # The pointer over the menu bar's first title.
        self.session.run(["xdotool", "mousemove", "--window", self.window, "15", "10"])
        for round in range(40):
            # The menu opens at the press; the key comes once the button is up again.
            self.input.send_mixed([("button", 1, True), ("button", 1, False), ("key", z, True)])
            self.assertEqual(self.notes(timeout=0.1), [], f"round {round}: the key behind the click played")
            self.input.send_mixed([("key", z, False)])
            self.close_menu(escape)
            self.play_alone(z)

    def press_and_grab(self, code):
        """A press and another client's grab of the keyboard in one request batch."""
        x = self.input
        x.xtst.XTestFakeKeyEvent(x.display, code, 1, 0)
        x.x11.XGrabKeyboard(x.display, x.show_other_window(), 0, 1, 1, 0)  # both modes async
        x.x11.XSync(x.display, 0)

    def test_a_grab_however_short_ends_the_held_notes(self):
        z = self.input.code("z")
        generator = random.Random(12)
        for round in range(40):
            # The press read with the grab in one batch, or played before the grab comes.
            if generator.random() < 0.7:
                self.press_and_grab(z)
            else:
                self.input.send([(z, True)])
                time.sleep(0.02)
                self.input.grab_keyboard()
            self.input.send([(z, False)])  # goes to the grabbing window
            self.input.ungrab_keyboard()
            notes = self.notes(timeout=0.2)
            # A press played before the grab sounds until the grab; one read with it plays nothing.
            self.assertIn(notes, ([], [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 100)]), f"round {round}")
            self.play_alone(z)


if __name__ == "__main__":
    PROGRAM_FOLDER = os.path.abspath(sys.argv.pop(1))
    ProgramTestCase.program_folder = PROGRAM_FOLDER
    unittest.main(verbosity=2)
