"""End-to-end: what only a real X server shows of the windows: one error box per failing
key, a window that stays on screen with an empty skin, F10 and the application icon.

Usage: window_test.py PROGRAM_FOLDER [unittest options]"""

import os
import sys
import time
import unittest

from harness import WINDOW_TITLE, ProgramTestCase, short_string, wait_for

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

    def test_f10_opens_the_menu_bar(self):
        window, _ = self.start(recording=MONITOR)
        session = self.session
        session.key("F10")
        time.sleep(0.3)
        session.key("e")  # the File menu's "&Exit"
        self.assertEqual(session.wait_exit(timeout=10), 0, "F10 did not open the File menu")
        self.assertEqual([m for m in self.monitor.take() if m[0] == NOTE_ON], [], "a note was played")

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
