"""End-to-end: the program on a headless Wayland compositor (sway), keys from a virtual
keyboard with a real keymap: every press and release plays once at a player's pace, keys
play by position on a French layout too, a held note ends when another window takes the
keyboard, when Space or an octave key comes, and the key-code viewer shows the codes by
position there; the random player of random_player_test.py plays there too.

Usage: wayland_test.py PROGRAM_FOLDER [unittest options]
TESSIVAR_SEED=N replays one run of the random player."""

import os
import random
import time

import harness
import random_player_test
from harness import PlayingTestCase, SwayDisplay, accessible_texts, wait_for

NOTE_ON, NOTE_OFF = 0x90, 0x80
VIEWER_TITLE = "Key Codes"
# Keys by their position on a US keyboard, and the notes the default key map and octave give them.
NOTES = {"z": 36, "s": 37, "x": 38, "d": 39, "c": 40, "v": 41, "m": 47, "comma": 48, "semicolon": 51,
         "q": 48, "w": 50, "e": 52}


class WaylandTest(PlayingTestCase):
    desktop = SwayDisplay

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.servers.session_bus()  # the viewer's texts are read through it

    def hold(self, keyboard, name, pressed=True):
        keyboard.send([(keyboard.code(name), pressed)])

    def tap(self, keyboard, name, held=0.05):
        self.hold(keyboard, name)
        time.sleep(held)
        self.hold(keyboard, name, False)

    def notes(self, count, timeout=3.0):
        return [m for m in self.monitor.wait_count(count, timeout) if m[0] in (NOTE_ON, NOTE_OFF)]

    def test_every_press_and_release_plays_once_at_a_players_pace(self):
        # A seeded random player: up to three keys held at once, 10 to 80 ms between two
        # key events. Every press is one note-on and every release one note-off, in order.
        seed = int(os.environ.get("TESSIVAR_SEED", random.randrange(1 << 30)))
        generator = random.Random(seed)
        names = ["z", "s", "x", "d", "c", "v", "m", "w", "e"]
        codes = {self.keyboard.code(name): NOTES[name] for name in names}
        held, presses = [], 0
        while presses < 300 or held:
            if held and (len(held) == 3 or presses >= 300 or generator.random() < 0.5):
                code = held.pop(generator.randrange(len(held)))
                self.keyboard.send([(code, False)])
            else:
                code = generator.choice([c for c in codes if c not in held])
                held.append(code)
                presses += 1
                self.keyboard.send([(code, True)])
            time.sleep(generator.uniform(0.01, 0.08))
        notes = self.notes(2 * presses, timeout=5.0)
        ons = sum(1 for m in notes if m[0] == NOTE_ON)
        offs = sum(1 for m in notes if m[0] == NOTE_OFF)
        print(f"seed {seed}: {presses} presses, {ons} note-ons ({presses - ons} missed), "
              f"{offs} note-offs ({presses - offs} missed)")
        self.assertEqual((ons, offs), (presses, presses), f"note-ons and note-offs (seed {seed})")
        sounding = set()
        for index, (status, note, velocity) in enumerate(notes):
            self.assertIn(note, codes.values())
            self.assertEqual(velocity, 100)
            self.assertEqual(note in sounding, status == NOTE_OFF, f"note {note}, message {index} (seed {seed})")
            sounding ^= {note}

    def test_a_french_layout_plays_by_position(self):
        # The keys where a US keyboard has Z M ; Q give W , M A on a French one.
        french = self.servers.desktop.keyboard(self.servers, "fr")
        self.addCleanup(french.close)
        for name in ("z", "m", "semicolon", "q"):
            self.tap(french, name)
        self.assertEqual(self.notes(8), [(status, NOTES[name], 100) for name in ("z", "m", "semicolon", "q")
                                         for status in (NOTE_ON, NOTE_OFF)])
        # The US keyboard again, in the same window.
        self.tap(self.keyboard, "z")
        self.assertEqual(self.notes(2), [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 100)])

    def start_viewer(self):
        viewer = self.servers.popen([self.session.path("scanpeek")], cwd=self.session.work)
        self.addCleanup(viewer.wait)
        self.addCleanup(viewer.kill)
        window = self.session.wait_window(VIEWER_TITLE)
        self.assertTrue(window, "the key-code viewer did not appear")
        time.sleep(0.3)
        return window

    def test_another_window_taking_the_keyboard_ends_held_notes(self):
        self.hold(self.keyboard, "z")
        self.hold(self.keyboard, "x")
        self.assertEqual(self.notes(2), [(NOTE_ON, 36, 100), (NOTE_ON, 38, 100)])
        self.start_viewer()  # a new window takes the keyboard
        self.assertEqual(sorted(self.notes(2)), [(NOTE_OFF, 36, 100), (NOTE_OFF, 38, 100)])
        self.hold(self.keyboard, "z", False)
        self.hold(self.keyboard, "x", False)
        self.assertEqual(self.notes(1, timeout=0.5), [], "a release in the other window played")
        self.session.focus(self.window)
        self.tap(self.keyboard, "c")
        self.assertEqual(self.notes(2), [(NOTE_ON, 40, 100), (NOTE_OFF, 40, 100)])

    def test_space_and_an_octave_key_end_a_held_note(self):
        for silencing, note in (("space", 36), ("F4", 36), ("F5", 36), ("F4", 48)):
            self.hold(self.keyboard, "z")
            self.assertEqual(self.notes(1), [(NOTE_ON, note, 100)])
            self.tap(self.keyboard, silencing)
            self.assertEqual(self.notes(1), [(NOTE_OFF, note, 0)], f"{silencing} left the note sounding")
            # The close ended the note: its release sends nothing more.
            self.hold(self.keyboard, "z", False)
            self.assertEqual(self.notes(1, timeout=0.3), [])

    def test_the_key_code_viewer_shows_codes_by_position(self):
        self.start_viewer()
        french = self.servers.desktop.keyboard(self.servers, "fr")
        self.addCleanup(french.close)
        # The comma key, and Z (W on the French layout): the code, its name, the scan code.
        shown = lambda: (accessible_texts(self.servers, VIEWER_TITLE) or [])[:3]
        for layout, keyboard in (("us", self.keyboard), ("fr", french)):
            for name, expected in (("comma", ["BC", "VK_OEM_COMMA", "Scan code 59 (0x3B)"]),
                                   ("z", ["5A", "Z", "Scan code 52 (0x34)"])):
                self.tap(keyboard, name)
                self.assertTrue(wait_for(lambda: shown() == expected, 3), f"{layout} {name}: {shown()}")
        self.assertEqual(self.notes(1, timeout=0.3), [], "a key of the viewer played")


class WaylandRandomPlayerTest(random_player_test.RandomPlayerTest):
    desktop = SwayDisplay
    rounds = min(random_player_test.ROUNDS, 8)


if __name__ == "__main__":
    harness.main()
