"""End-to-end: the built program under Xvfb, keys typed with xdotool, MIDI read back by
a JACK MIDI monitor, files compared byte for byte after exit.

Usage: program_test.py PROGRAM_FOLDER [unittest options]"""

import os
import sys
import time
import unittest

from harness import WINDOW_TITLE, ProgramTestCase, config_bytes, short_string, wait_for

PROGRAM_FOLDER = None

# The program lists the built-in synthesizer, then its virtual output, then the JACK
# MIDI inputs: the monitor is the only one.
SYNTH, VIRTUAL, MONITOR = 0, 1, 2
NOTE_ON, NOTE_OFF = 0x90, 0x80


class ProgramTest(ProgramTestCase):
    def test_first_run_warns_before_the_window_and_saves_the_defaults_at_exit(self):
        session = self.session
        session.start_program(wait_window=False)
        warning = session.wait_window("Attention!")
        self.assertTrue(warning, "no device warning on the first run")
        self.assertEqual(session.find_windows(WINDOW_TITLE), [], "the main window came before the warning")
        session.focus(warning)
        session.key("Return")
        window = session.wait_window(WINDOW_TITLE)
        self.assertTrue(window)
        geometry = session.geometry(window)
        # Centred on the 1024 x 768 screen at the size of the shipped skin.
        self.assertLess(abs(geometry["X"] + geometry["WIDTH"] // 2 - 512), 3)
        self.assertLess(abs(geometry["Y"] + geometry["HEIGHT"] // 2 - 384), 30)
        self.assertIsNone(session.read("setup.ini"))
        session.focus(window)
        self.assertEqual(session.exit_through_menu(window), 0)
        self.assertEqual(session.read("setup.ini"), short_string("Default.cfg"))
        self.assertEqual(session.read("CONFIGS/Default.cfg"), config_bytes())

        # The second run finds setup.ini: no warning, straight to the window.
        window = session.start_program()
        time.sleep(1.0)
        self.assertEqual(session.find_windows("Attention!"), [])
        self.assertEqual(session.exit_through_menu(window), 0)

    def test_a_missing_skin_gives_one_error_box_and_the_designed_size(self):
        session = self.session
        session.use_config(recording=MONITOR)
        os.remove(session.path("SKINS/Classic.bmp"))
        session.start_program(wait_window=False)
        # The error box comes while the window is created, before it is shown; it has
        # the application title as its caption.
        box = session.wait_window(WINDOW_TITLE)
        self.assertTrue(box)
        self.assertEqual(len(session.find_windows(WINDOW_TITLE)), 1)
        session.focus(box)
        session.key("Return")
        window = wait_for(lambda: [w for w in session.find_windows(WINDOW_TITLE) if w != box])
        self.assertTrue(window, "the main window did not come after the box")
        time.sleep(1.0)
        self.assertEqual(len(session.find_windows(WINDOW_TITLE)), 1, "more than one box")
        self.assertLess(session.geometry(window[0])["HEIGHT"], 80)  # 30 pixels below the menu bar
        session.focus(window[0])
        session.key("z")  # the key map was not loaded after the failed skin: silence
        time.sleep(0.5)
        self.assertEqual(self.monitor.take(), [])
        self.assertEqual(session.exit_through_menu(window[0]), 0)

    def test_typed_keys_reach_the_monitor_once_per_press(self):
        window, _ = self.start(recording=MONITOR, recording_instrument=5, recording_channel=3)
        session = self.session
        session.key_down("z")
        time.sleep(1.2)  # held for over a second: the key auto-repeats
        session.key_up("z")
        messages = self.monitor.wait_count(3)
        self.assertEqual(messages, [(0xC2, 5), (NOTE_ON + 2, 36, 100), (NOTE_OFF + 2, 36, 100)])
        session.key("q", "bracketright")
        self.assertEqual(self.monitor.wait_count(4),
                         [(NOTE_ON + 2, 48, 100), (NOTE_OFF + 2, 48, 100),
                          (NOTE_ON + 2, 67, 100), (NOTE_OFF + 2, 67, 100)])
        # F6 selects octave 5: Z is now note 60; the device reopens with its program.
        session.key("F6", "z")
        self.assertEqual(self.monitor.wait_count(3), [(0xC2, 5), (NOTE_ON + 2, 60, 100), (NOTE_OFF + 2, 60, 100)])

    def test_space_silences_what_is_held(self):
        window, _ = self.start(recording=MONITOR)
        session = self.session
        session.key_down("z")
        session.key_down("x")
        self.assertEqual(self.monitor.wait_count(2), [(NOTE_ON, 36, 100), (NOTE_ON, 38, 100)])
        session.key("space")
        # Closing the device sends the note-offs of what still sounds through it.
        offs = self.monitor.wait_count(2)
        self.assertEqual(sorted(offs), [(NOTE_OFF, 36, 0), (NOTE_OFF, 38, 0)])
        session.key_up("z")
        session.key_up("x")
        self.monitor.wait_count(2)

    def test_losing_the_focus_releases_held_notes(self):
        window, _ = self.start(recording=MONITOR)
        session = self.session
        session.key_down("z")
        self.assertEqual(self.monitor.wait_count(1), [(NOTE_ON, 36, 100)])
        session.click(window, 14, 10)  # the File menu opens and takes the keyboard
        self.assertEqual(self.monitor.wait_count(1), [(NOTE_OFF, 36, 100)])
        session.key_up("z")
        session.key("Escape")

    def test_exit_saves_the_configuration_unchanged_and_leaves_nothing_sounding(self):
        window, written = self.start(recording=MONITOR, octave=4)
        session = self.session
        session.key("z")
        self.monitor.wait_count(2)
        self.assertEqual(session.exit_through_menu(window), 0)
        self.assertEqual(session.read("CONFIGS/E2E.cfg"), written)
        self.assertEqual(session.read("setup.ini"), short_string("E2E.cfg"))
        leftover = [m for m in self.monitor.take() if m[0] & 0xF0 == NOTE_ON and m[2] > 0]
        self.assertEqual(leftover, [])

    def test_virtual_port_keeps_its_connections(self):
        window, _ = self.start(recording=VIRTUAL)
        session = self.session
        ports = [p for p in session.jack_ports() if p.startswith("Tessivar:")]
        self.assertTrue(ports, f"no Tessivar port among {session.jack_ports()}")
        session.run(["jack_connect", ports[0], self.monitor.port])
        time.sleep(0.05)  # the server takes a new connection at the start of a later cycle
        session.key("z")
        self.assertEqual(self.monitor.wait_count(2), [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 100)])
        session.key("space")  # closes every device; the port and its connection stay
        session.key("q")
        self.assertEqual(self.monitor.wait_count(2), [(NOTE_ON, 48, 100), (NOTE_OFF, 48, 100)])

    def test_a_held_key_shows_on_the_picture(self):
        window, _ = self.start(recording=MONITOR)
        session = self.session
        released = session.screenshot(window, "released.png")
        session.key_down("z")
        time.sleep(0.3)
        held = session.screenshot(window, "held.png")
        session.key_up("z")
        time.sleep(0.3)
        again = session.screenshot(window, "again.png")
        compare = lambda a, b: session.run(["compare", "-metric", "AE", a, b, os.devnull],
                                           check=False).stderr.strip()
        self.assertNotEqual(compare(released, held), "0", "holding Z changed nothing on the picture")
        self.assertEqual(compare(released, again), "0", "releasing Z did not restore the picture")


if __name__ == "__main__":
    PROGRAM_FOLDER = os.path.abspath(sys.argv.pop(1))
    ProgramTestCase.program_folder = PROGRAM_FOLDER
    unittest.main(verbosity=2)
