"""End-to-end: the Tools menu starts the key-map editor and the key-code viewer from the
program folder, and a key map made in the editor plays in the program.

Usage: tools_test.py PROGRAM_FOLDER [unittest options]"""

import os
import re
import struct
import subprocess
import sys
import time
import unittest

from harness import ProgramTestCase, _end_with_parent, short_string, wait_for

PROGRAM_FOLDER = None
MONITOR = 2  # synthesizer, virtual output, then the monitor
NOTE_ON, NOTE_OFF = 0x90, 0x80
EDITOR_TITLE = "Key Map Editor - "
VIEWER_TITLE = "Key Codes"


def key_map_bytes(entries):
    data = short_string("ZVQ_KEYMAPPING1") + struct.pack("<i", len(entries))
    for key, note in entries:
        data += bytes([note]) + struct.pack("<h", key)
    return data


class ToolsTest(ProgramTestCase):
    def setUp(self):
        super().setUp()
        self.started = []
        self.addCleanup(self.end_started)

    def end_started(self):
        for process in self.started:
            if process.poll() is None:
                process.kill()
                process.wait()

    def windows_named(self, prefix):
        result = self.session.run(["xdotool", "search", "--onlyvisible", "--name", "^" + re.escape(prefix)],
                                  check=False)
        return result.stdout.split()

    def wait_named(self, prefix, timeout=15):
        windows = wait_for(lambda: self.windows_named(prefix), timeout)
        return windows[0] if windows else None

    def title(self, window):
        return self.session.run(["xdotool", "getwindowname", window]).stdout.strip()

    def tools_menu(self, window, *keys):
        """Opens the main window's Tools menu from the File menu (left of File, beyond Help),
        then types keys. Going right would open the submenus on the way."""
        session = self.session
        session.click(window, 14, 10)
        session.key("Left", "Left")
        session.key(*keys)

    def test_the_tools_items_start_their_programs(self):
        session = self.session
        session.use_config(recording=MONITOR)
        window = session.start_program()
        self.tools_menu(window, "k")
        editor = self.wait_named(EDITOR_TITLE)
        self.assertTrue(editor, "Tools > Edit Keyboard brought up no editor")
        self.assertEqual(self.title(editor), EDITOR_TITLE + "Tracker.key")
        self.assertIn((48, 48), session.icon_sizes(editor), "the editor has no icon")

        # The editor lies over the main window's menu bar: it goes first.
        session.focus(editor)
        session.key("ctrl+q")
        self.assertTrue(wait_for(lambda: not self.windows_named(EDITOR_TITLE)), "the editor did not end")
        session.focus(window)
        self.tools_menu(window, "Up", "Return")  # the last item: Get Keyboard Scancode
        viewer = self.wait_named(VIEWER_TITLE)
        self.assertTrue(viewer, "Tools > Get Keyboard Scancode brought up no viewer")
        self.assertIn((48, 48), session.icon_sizes(viewer), "the viewer has no icon")
        # Keys typed into the viewer are shown there, not played.
        session.focus(viewer)
        self.monitor.wait_count(1, timeout=0.5)  # the release of Q from Ctrl+Q reached the main window
        before = session.screenshot(viewer, "before.png")
        session.key("z")
        time.sleep(0.3)
        after = session.screenshot(viewer, "after.png")
        difference = session.run(["compare", "-metric", "AE", before, after, os.devnull], check=False)
        self.assertNotEqual(difference.stderr.strip(), "0", "the viewer showed nothing of the key")
        self.assertEqual(self.monitor.wait_count(1, timeout=1), [])

    def test_a_key_map_made_in_the_editor_plays_in_the_program(self):
        session = self.session
        editor_process = subprocess.Popen([session.path("layoutcraft")], cwd=session.work, env=session.env,
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                          preexec_fn=_end_with_parent)
        self.started.append(editor_process)
        editor = self.wait_named(EDITOR_TITLE)
        self.assertTrue(editor)
        session.focus(editor)
        session.key("ctrl+n")
        self.assertTrue(wait_for(lambda: self.title(editor).startswith(EDITOR_TITLE + "Untitled")))
        # The piano starts on note 0: A plays 0, W 1, S 2, and the comma key 12.
        session.key("a", "Right", "w", "Right", "s", "Right", "Up", "Left", "Left", "Left", "comma")
        session.key("ctrl+shift+s")
        dialog = self.wait_named("Save Key Map As")
        self.assertTrue(dialog, "no save dialog")
        session.focus(dialog)
        session.run(["xdotool", "type", "--delay", "40", "Mine"])
        session.key("Return")
        self.assertTrue(wait_for(lambda: session.read("KEYMAPS/Mine.key") is not None))
        self.assertEqual(session.read("KEYMAPS/Mine.key"),
                         key_map_bytes([(ord("A"), 0), (ord("W"), 1), (ord("S"), 2), (0xBC, 12)]))
        session.focus(editor)
        session.key("ctrl+q")
        editor_process.wait(timeout=10)

        # The program lists the new map under Setup > Keymapping; Mine.key comes first.
        session.use_config(recording=MONITOR)
        window = session.start_program()
        session.click(window, 14, 10)
        # Setup opens on its first item: up twice is Keymapping, whose list opens on its first.
        session.key("Right", "Up", "Up", "Right", "Return")
        session.focus(window)
        self.monitor.take()
        session.key("a", "w", "s", "comma")
        self.assertEqual(self.monitor.wait_count(8),
                         [(NOTE_ON, 36, 100), (NOTE_OFF, 36, 100), (NOTE_ON, 37, 100), (NOTE_OFF, 37, 100),
                          (NOTE_ON, 38, 100), (NOTE_OFF, 38, 100), (NOTE_ON, 48, 100), (NOTE_OFF, 48, 100)])


if __name__ == "__main__":
    PROGRAM_FOLDER = os.path.abspath(sys.argv.pop(1))
    ProgramTestCase.program_folder = PROGRAM_FOLDER
    unittest.main(verbosity=2)
