"""End-to-end: scripts/install.sh into a fresh HOME whose name holds the characters a
desktop entry must escape. The installed files, the desktop entry and the metainfo; the
launcher starting the program from the installed folder under Xvfb; an install over a
changed folder; uninstall, then purge.

Usage: install_test.py SOURCE_FOLDER BUILD_FOLDER [unittest options]"""

import configparser
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "program"))
from harness import WINDOW_TITLE, Servers, _end_with_parent, config_bytes, short_string, wait_for  # noqa: E402

SOURCE = BUILD = None
APP_ID = "org.example.tessivar"
PROGRAMS = ("tessivar", "layoutcraft", "scanpeek")
ICON_SIZES = (48, 128, 256)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def files_under(folder):
    """Every file below folder, as paths relative to it."""
    return {os.path.relpath(os.path.join(d, name), folder) for d, _, names in os.walk(folder) for name in names}


def shipped_data():
    return {path for path in files_under(os.path.join(SOURCE, "data"))
            if not any(part.startswith(".") for part in path.split(os.sep))}


def exec_program(value):
    """The program a quoted Exec value names: the value's \\ unescaped, then the
    argument's \\ \" \` \$, then %%."""
    quoted = re.fullmatch(r'"((?:[^"\\]|\\.)*)"', value.replace("\\\\", "\\"))
    return re.sub(r"\\(.)", r"\1", quoted[1]).replace("%%", "%") if quoted else None


def run_and_exit(test, servers, command, env, folder, wm_class, first=True):
    """A run of command under the servers' display: the device warning on a first run, the
    main window (its program the one in folder, its class the desktop entry's), File >
    Exit; the exit save lands in folder."""
    def windows(title):
        found = servers.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"], check=False)
        return found.stdout.split()

    with open(os.path.join(servers.work, "program.log"), "w") as log:
        program = subprocess.Popen(command, cwd="/", env=env, stdout=log, stderr=subprocess.STDOUT,
                                   preexec_fn=_end_with_parent)
    test.addCleanup(program.kill)
    if first:
        warning = wait_for(lambda: windows("Attention!"), 15)
        test.assertTrue(warning, "no device warning on the first run")
        servers.run(["xdotool", "windowfocus", "--sync", warning[0], "key", "Return"])
    window = wait_for(lambda: windows(WINDOW_TITLE), 15)
    test.assertTrue(window, "the main window did not appear")
    test.assertEqual(os.path.realpath(f"/proc/{program.pid}/exe"), os.path.realpath(os.path.join(folder, "tessivar")))
    # The window belongs to the desktop entry the way an X desktop matches them.
    test.assertIn(f'"{wm_class}"', servers.run(["xprop", "-id", window[0], "WM_CLASS"]).stdout)
    servers.run(["xdotool", "windowfocus", "--sync", window[0], "mousemove", "--window", window[0], "14", "10",
                 "click", "1", "sleep", "0.3", "key", "e"])
    test.assertEqual(program.wait(timeout=15), 0)
    test.assertEqual(read(os.path.join(folder, "setup.ini")), short_string("Default.cfg"))
    test.assertEqual(len(read(os.path.join(folder, "CONFIGS/Default.cfg"))), 94)


class InstallTest(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix='tessivar home $`"%\\ ')
        self.addCleanup(shutil.rmtree, self.home, ignore_errors=True)
        self.env = {k: v for k, v in os.environ.items() if k != "XDG_DATA_HOME"}
        self.env["HOME"] = self.home
        share = os.path.join(self.home, ".local", "share")
        self.folder = os.path.join(share, "tessivar")
        self.launcher = os.path.join(self.home, ".local", "bin", "tessivar")
        self.desktop_entry = os.path.join(share, "applications", APP_ID + ".desktop")
        self.metainfo = os.path.join(share, "metainfo", APP_ID + ".metainfo.xml")
        self.icons = {size: os.path.join(share, "icons", "hicolor", f"{size}x{size}", "apps", APP_ID + ".png")
                      for size in ICON_SIZES}

    def install(self, *options):
        result = subprocess.run(["bash", os.path.join(SOURCE, "scripts", "install.sh"), *options], env=self.env,
                                capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return result.stdout

    def in_folder(self, path):
        return os.path.join(self.folder, path)

    def check_installed(self):
        for path in shipped_data():
            self.assertEqual(read(self.in_folder(path)), read(os.path.join(SOURCE, "data", path)), path)
        for name in PROGRAMS:
            self.assertEqual(read(self.in_folder(name)), read(os.path.join(BUILD, "program", name)), name)
        program = os.path.realpath(self.in_folder("tessivar"))
        self.assertEqual(os.path.realpath(self.launcher), program)
        self.assertEqual(read(self.icons[48]), read(os.path.join(SOURCE, "data", "tessivar.png")))
        for size, icon in self.icons.items():
            header = read(icon)[:24]
            self.assertEqual(header[:8], b"\x89PNG\r\n\x1a\n", icon)
            self.assertEqual(int.from_bytes(header[16:20], "big"), size, icon)

        checked = subprocess.run(["desktop-file-validate", self.desktop_entry], capture_output=True, text=True)
        self.assertEqual((checked.returncode, checked.stdout + checked.stderr), (0, ""))
        parser = configparser.ConfigParser(interpolation=None)
        parser.optionxform = str
        parser.read(self.desktop_entry)
        entry = parser["Desktop Entry"]
        self.assertEqual(os.path.realpath(exec_program(entry["Exec"])), program)
        self.assertEqual(entry["Icon"], APP_ID)
        checked = subprocess.run(["appstreamcli", "validate", "--no-net", "--strict", self.metainfo],
                                 capture_output=True, text=True)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        metainfo = read(self.metainfo).decode()
        self.assertIn(f"<id>{APP_ID}</id>", metainfo)
        self.assertIn(f'<launchable type="desktop-id">{APP_ID}.desktop</launchable>', metainfo)
        return entry

    def run_through_launcher(self, entry):
        servers = Servers()
        self.addCleanup(servers.stop)
        servers.start()
        run_and_exit(self, servers, [self.launcher], dict(servers.env, HOME=self.home), self.folder,
                           entry["StartupWMClass"])

    def test_install_run_install_again_and_uninstall(self):
        self.install("--from-build", BUILD)
        self.run_through_launcher(self.check_installed())

        # The user's changes, and what an older install left: a shipped skin it installed
        # in another version, one it shipped that is gone now, and an older program.
        mine = {"CONFIGS/Default.cfg": config_bytes(octave=5, skin="Mine.bmp"),
                "CONFIGS/Mine.cfg": config_bytes(config_name="Mine.cfg", keymap="Mine.key"),
                "setup.ini": short_string("Mine.cfg"),
                "KEYMAPS/Tracker.key": b"ZVQ changed by the user",
                "KEYMAPS/Mine.key": b"ZVQ own key map",
                "SKINS/Mine.bmp": b"BM own skin"}
        for path, data in mine.items():
            write(self.in_folder(path), data)
        older = {"SKINS/Dark.bmp": b"BM older", "SKINS/Gone.bmp": b"BM no longer shipped"}
        with open(self.in_folder(".installed"), "a") as manifest:
            for path, data in older.items():
                write(self.in_folder(path), data)
                manifest.write(f"{hashlib.sha256(data).hexdigest()}  {path}\n")
        write(self.in_folder("layoutcraft"), b"older program")

        output = self.install("--from-build", BUILD)
        self.assertIn("KEYMAPS/Tracker.key", output)
        for path, data in mine.items():
            self.assertEqual(read(self.in_folder(path)), data, path)
        self.assertEqual(read(self.in_folder("SKINS/Dark.bmp")), read(os.path.join(SOURCE, "data/SKINS/Dark.bmp")))
        self.assertFalse(os.path.exists(self.in_folder("SKINS/Gone.bmp")))
        self.assertEqual(read(self.in_folder("layoutcraft")), read(os.path.join(BUILD, "program/layoutcraft")))

        self.install("--uninstall")
        for path in (self.launcher, self.desktop_entry, self.metainfo, *self.icons.values()):
            self.assertFalse(os.path.lexists(path), path)
        self.assertEqual(files_under(self.folder), set(mine))
        for path, data in mine.items():
            self.assertEqual(read(self.in_folder(path)), data, path)

        self.install("--uninstall", "--purge")
        self.assertFalse(os.path.exists(self.folder))
        self.assertEqual(files_under(os.path.join(self.home, ".local")), set())


if __name__ == "__main__":
    SOURCE = os.path.abspath(sys.argv.pop(1))
    BUILD = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
