"""End-to-end: Tessivar.exe from the unpacked Windows zip under Wine on Xvfb: the first-run
warning, the main window at the shipped skin's size with the skin drawn as the Linux program
draws it, menus by keys, the warning of a note key with no device, the exit save byte for
byte as the Linux program writes it (the Linux tests check the same bytes), and the key-map editor from the Tools menu. No MIDI
output is reachable through Wine here (its WinMM lists no device); the MIDI bytes through
WinMM are checked by the WinMM unit tests.

Usage: program_test.py PROGRAM_FOLDER [unittest options]
Wine comes from TESSIVAR_WINE and TESSIVAR_WINESERVER, its prefix from WINEPREFIX."""

import os
import re
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "program"))
from harness import (WINDOW_TITLE, MachineSequencer, ProgramTestCase, Session, config_bytes,  # noqa: E402
                     main, short_string, wait_for)

WINE = os.environ.get("TESSIVAR_WINE", "wine")
WINESERVER = os.environ.get("TESSIVAR_WINESERVER", "wineserver")
EDITOR_TITLE = "Key Map Editor - "


def keys_up_picture(skin):
    """The keyboard picture the program draws from a 24-bit skin (the Linux widget tests
    check its surface so): the skin's upper half, the keys up, three times side by side;
    rows of RGB bytes."""
    with open(skin, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    assert bits == 24 and height > 0, f"{skin}: not a bottom-up 24-bit bitmap"
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height // 2):
        bgr = data[offset + (height - 1 - y) * stride:][:width * 3]
        rgb = bytearray(bgr)
        rgb[0::3], rgb[2::3] = bgr[2::3], bgr[0::3]
        rows.append(bytes(rgb) * 3)
    return rows


class WineSession(Session):
    """A run of Tessivar.exe under Wine, in a fresh copy of the unpacked zip."""

    def start_program(self, wait_window=True):
        self.log = open(os.path.join(self.work, "program.log"), "w")
        self.program = self.servers.popen([WINE, self.path("Tessivar.exe")], cwd=self.work, stdout=self.log,
                                          stderr=subprocess.STDOUT)
        if not wait_window:
            return None
        window = self.wait_window(WINDOW_TITLE, 60)
        if not window:
            raise RuntimeError("the main window did not appear")
        self.focus(window)
        return window

    def screen_rows(self):
        """The whole screen, rows of RGB bytes."""
        ppm = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], env=self.env,
                             capture_output=True, check=True).stdout
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)  # one whitespace byte ends it
        width, height = int(header[1]), int(header[2])
        pixels = ppm[header.end():]
        return [pixels[y * width * 3:(y + 1) * width * 3] for y in range(height)]

    def find_picture(self, rows):
        """Where the picture lies on the screen, pixel for pixel: (x, y) or None."""
        screen = self.screen_rows()
        for y in range(len(screen) - len(rows) + 1):
            start = screen[y].find(rows[0])
            while start >= 0:
                if start % 3 == 0 and all(screen[y + i][start:start + len(row)] == row for i, row in enumerate(rows)):
                    return start // 3, y
                start = screen[y].find(rows[0], start + 1)
        return None

    def close(self):
        super().close()
        subprocess.run([WINESERVER, "-k"], env=self.env, check=False)
        subprocess.run([WINESERVER, "-w"], env=self.env, check=False)


class WindowsProgramTest(ProgramTestCase):
    midi = MachineSequencer  # no MIDI server of the test's own

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.servers.env.pop("QT_QPA_PLATFORM", None)  # Qt on Windows has its own platform

    def new_session(self):
        session = WineSession(self.servers, self.program_folder)
        self.addCleanup(session.close)
        return session

    def close_warning(self, why):
        """The no-device warning is on screen; Return closes it."""
        session = self.session
        warning = session.wait_window("Attention!", 30)
        self.assertTrue(warning, "no device warning " + why)
        time.sleep(0.5)
        session.focus(warning)
        session.key("Return")
        self.assertTrue(wait_for(lambda: not session.find_windows("Attention!")), "the warning did not close")

    def test_first_run_menus_by_keys_and_the_exit_save(self):
        session = self.session
        session.start_program(wait_window=False)
        self.close_warning("on the first run")
        window = session.wait_window(WINDOW_TITLE)
        self.assertTrue(window, "no main window after the first run's warning")
        session.focus(window)
        classic = keys_up_picture(session.path("SKINS/Classic.bmp"))
        place = wait_for(lambda: session.find_picture(classic), 5, 0.5)
        self.assertTrue(place, "the Classic skin is not drawn as on Linux")
        geometry = session.geometry(window)
        # The window is as wide as the picture, which fills it to its bottom.
        self.assertEqual(geometry["WIDTH"], len(classic[0]) // 3)
        self.assertEqual(place[1] + len(classic), geometry["Y"] + geometry["HEIGHT"])

        # Without a device every key warns, a note key and F10 alike; F10's menu comes next.
        session.key("z")
        self.close_warning("for a note key")
        session.focus(window)
        session.key("F10")
        self.close_warning("for F10")
        # Setup > Recording Output Device > its first item, the built-in synthesizer, whose
        # library is not in the folder: a note says so in an error box.
        session.key("Right", "Down", "Right", "Return")
        session.focus(window)
        session.key("z")
        box = wait_for(lambda: [w for w in session.find_windows(WINDOW_TITLE) if w != window], 30)
        self.assertTrue(box, "a note on the synthesizer without its library gave no error box")
        time.sleep(0.5)
        session.focus(box[0])
        session.key("Return")
        session.focus(window)
        session.key("F6")  # octave 5
        session.key("F10", *["Down"] * 5, "Return")  # File > Exit
        self.assertEqual(session.wait_exit(30), 0)
        self.assertEqual(session.read("setup.ini"), short_string("Default.cfg"))
        self.assertEqual(session.read("CONFIGS/Default.cfg"), config_bytes(recording=0, octave=5))

    def test_the_tools_menu_starts_the_key_map_editor(self):
        session = self.session
        session.use_config(recording=0)  # a device, so that F10 gives no warning
        window = session.start_program()
        # From the File menu left to Help, then Tools; its "Edit &Keyboard".
        session.key("F10", "Left", "Left", "k")
        editor = session.wait_window(EDITOR_TITLE + "Tracker.key", 60)
        self.assertTrue(editor, "Tools > Edit Keyboard brought up no editor")
        session.focus(editor)
        session.key("ctrl+q")
        self.assertTrue(wait_for(lambda: not session.find_windows(EDITOR_TITLE + "Tracker.key"), 15),
                        "the editor did not end")
        session.focus(window)
        session.key("F10", *["Down"] * 5, "Return")
        self.assertEqual(session.wait_exit(30), 0)


if __name__ == "__main__":
    main()
