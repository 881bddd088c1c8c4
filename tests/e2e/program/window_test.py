"""End-to-end: what only a real X server shows of the windows: one error box per failing
key, a window that stays on screen with an empty skin, F10 and the application icon.

Usage: window_test.py PROGRAM_FOLDER [unittest options]"""

import os
import sys
import time
import unittest

from harness import WINDOW_TITLE, ProgramTestCase, short_string, wait_for
from x_input import XInput

PROGRAM_FOLDER = None

# The built-in synthesizer, the virtual output, then the monitor (the only JACK input).
MONITOR = 2
BEYOND_THE_LIST = 9
NOTE_ON, NOTE_OFF = 0x90, 0x80


class WindowTest(ProgramTestCase):
    def boxes(self, window):
        """The error boxes on screen: windows with the application title besides the main one."""
        return [w for w in self.session.find_windows(WINDOW_TITLE) if w != window]

    def test_a_failing_key_shows_one_box_and_the_working_device_gets_its_note_off(self):
        window, _ = self.start(recording=MONITOR, playing=BEYOND_THE_LIST)
        session = self.session
        for press in range(2):
            session.key_down("z")
            box = wait_for(lambda: self.boxes(window))
            session.key_up("z")
            self.assertTrue(box, "no error box")
            time.sleep(1.0)  # a second box would come from the focus-loss release
            self.assertEqual(len(self.boxes(window)), 1, f"press {press + 1}: more than one box")
            self.assertEqual(self.monitor.wait_count(2), [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 100)])
            self.assertIn((48, 48), self.session.icon_sizes(box[0]), "the error box has no icon")
            session.focus(box[0])
            session.key("Return")
            self.assertTrue(wait_for(lambda: not self.boxes(window)), "the box did not close")
            session.focus(window)
        self.assertEqual(session.exit_through_menu(window), 0)

    def test_a_zero_byte_skin_leaves_the_window_on_screen_with_its_menu_bar(self):
        session = self.session
        session.write("SKINS/Empty.bmp", b"")
        # The window must come up (mapped) although its keyboard area is empty.
        window, written = self.start(skin="Empty.bmp", recording=MONITOR)
        geometry = session.geometry(window)
        self.assertGreater(geometry["WIDTH"], 100, "the menu bar does not fit")
        self.assertGreater(geometry["HEIGHT"], 10)
        shot = session.screenshot(window, "empty-skin.png")
        colours = int(session.run(["identify", "-format", "%k", shot]).stdout)
        self.assertGreater(colours, 2, "the menu bar shows no captions")
        # The menu bar works: File > Exit ends the program, and the exit save happens.
        self.assertEqual(session.exit_through_menu(window), 0)
        self.assertEqual(session.read("CONFIGS/E2E.cfg"), written)
        self.assertEqual(session.read("setup.ini"), short_string("E2E.cfg"))

    def test_f10_opens_the_file_menu_whose_letters_are_no_commands(self):
        window, _ = self.start(recording=MONITOR)
        session = self.session
        # Escape closes the menu and gives the keys back to the window at once: a held key
        # plays, and Space ends it (rather than open a menu of a menu bar left holding the
        # keyboard).
        session.key("F10")
        time.sleep(0.3)
        session.key("Escape")
        time.sleep(0.3)
        session.key_down("z")
        time.sleep(0.1)  # within the server's auto-repeat delay
        session.key("space")
        session.key_up("z")
        self.assertEqual([m for m in self.monitor.wait_count(2) if m[0] in (NOTE_ON, NOTE_OFF)],
                         [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 0)])
        session.key("F10")
        time.sleep(0.3)
        # "e" is a note key beside F10's octave keys, and the File menu's "&Exit".
        session.key("e", "z")
        self.assertIsNone(session.wait_exit(timeout=1), "a letter behind F10 ended the program")
        self.assertEqual([m for m in self.monitor.take() if m[0] == NOTE_ON], [], "a note was played")
        # The menu is open all the same: its fifth item is Exit.
        session.key(*["Down"] * 5, "Return")
        self.assertEqual(session.wait_exit(timeout=10), 0, "F10 did not open the File menu")

    def test_the_mouse_plays_the_picture_and_a_menu_opened_by_a_key_ends_its_note(self):
        window, _ = self.start(recording=MONITOR)
        geometry = self.session.geometry(window)
        # The shipped skin of 280 x 160: white keys 40 wide, the picture below the menu bar.
        left, top = geometry["X"], geometry["Y"] + geometry["HEIGHT"] - 80
        pointer = XInput(self.servers.display)
        self.addCleanup(pointer.close)

        def mouse(*events):
            # One at a time: the toolkit takes only the last of several moves in a row.
            for e in events:
                pointer.send_mixed([("move", left + e[0], top + e[1]) if len(e) == 2 else ("button", 1, e[0])])
                time.sleep(0.05)

        mouse((20, 60), (True,), (False,))  # a click on C
        mouse((20, 60), (True,), (60, 60), (100, 60), (100, 20), (False,))  # C, D, E, D sharp
        self.assertEqual([m for m in self.monitor.wait_count(10) if m[0] in (NOTE_ON, NOTE_OFF)],
                         [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 100), (NOTE_ON, 36, 100), (NOTE_OFF, 36, 100),
                          (NOTE_ON, 38, 100), (NOTE_OFF, 38, 100), (NOTE_ON, 40, 100), (NOTE_OFF, 40, 100),
                          (NOTE_ON, 39, 100), (NOTE_OFF, 39, 100)])
        # Held on the picture, the note ends when F10's menu takes the keyboard; the button
        # let go later ends nothing more.
        mouse((140, 60), (True,))
        self.session.key("F10")
        time.sleep(0.3)
        mouse((False,))
        self.session.key("Escape")
        self.assertEqual([m for m in self.monitor.wait_count(2) if m[0] in (NOTE_ON, NOTE_OFF)],
                         [(NOTE_ON, 41, 100), (NOTE_OFF, 41, 100)])

    def test_every_window_shows_the_application_icon(self):
        window, _ = self.start(recording=MONITOR)
        session = self.session
        self.assertIn((48, 48), self.session.icon_sizes(window))
        session.click(window, 200, 10)  # the Help menu
        session.key("a")  # "&About"
        about = session.wait_window("About " + WINDOW_TITLE)
        self.assertTrue(about, "no About box")
        self.assertIn((48, 48), self.session.icon_sizes(about))
        session.focus(about)
        session.key("space")  # "Close" has the focus
        self.assertTrue(wait_for(lambda: not session.find_windows("About " + WINDOW_TITLE)))
        session.focus(window)
        self.assertEqual(session.exit_through_menu(window), 0)


if __name__ == "__main__":
    PROGRAM_FOLDER = os.path.abspath(sys.argv.pop(1))
    ProgramTestCase.program_folder = PROGRAM_FOLDER
    unittest.main(verbosity=2)
