"""End-to-end: the Debian package. scripts/make_deb.sh packages this build folder; lintian
finds no error; apt installs it; a user of the machine (one the test makes) starts it from
the desktop entry's command under Xvfb and gets a folder of their own, where the exit save
lands; a higher version, shipping a changed skin, upgrades it and the user's next start
keeps their configuration and changed key map and takes the new skin; apt removes it
(the folder stays) and purges it (saying where the folder is). The package is purged and
the user deleted at the end, whatever happened.

Needs root (or sudo without a password): it installs on this machine.

Usage: package_test.py SOURCE_FOLDER BUILD_FOLDER [unittest options]"""

import configparser
import os
import pwd
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "program"))
from harness import MachineSequencer, Servers, config_bytes  # noqa: E402
from install_test import APP_ID, PROGRAMS, read, run_and_exit, write  # noqa: E402

SOURCE = BUILD = None
USER = "tessivar-e2e"
AS_ROOT = [] if os.geteuid() == 0 else ["sudo", "-n"]


def root(*command, check=True):
    result = subprocess.run([*AS_ROOT, *command], capture_output=True, text=True, timeout=300,
                            env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
    if check and result.returncode != 0:
        raise AssertionError(f"{' '.join(command)}: {result.stdout}{result.stderr}")
    return result.stdout + result.stderr


def installed_version():
    result = subprocess.run(["dpkg-query", "-W", "-f=${Status} ${Version}", "tessivar"], capture_output=True,
                            text=True)
    return result.stdout.split()[-1] if "installed" in result.stdout.split()[:3] else None


def apt_get(*arguments):
    return root("apt-get", "-o", "DPkg::Lock::Timeout=300", "-y", *arguments)


def purge_and_delete_user():
    if subprocess.run(["dpkg-query", "-W", "tessivar"], capture_output=True).returncode == 0:
        apt_get("purge", "tessivar")
    if subprocess.run(["id", USER], capture_output=True).returncode == 0:
        root("userdel", USER)


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if AS_ROOT and subprocess.run(["sudo", "-n", "true"], capture_output=True).returncode != 0:
            raise unittest.SkipTest("installing a package needs root, or sudo without a password")
        version = installed_version()
        if version and "+e2e" not in version:
            raise unittest.SkipTest(f"this machine has tessivar {version} installed: the test would replace it")
        purge_and_delete_user()  # what an earlier run that was killed left

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tessivar-package-")
        os.chmod(self.work, 0o755)
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        self.addCleanup(purge_and_delete_user)
        self.home = os.path.join(self.work, "home")
        os.mkdir(self.home)
        root("useradd", "--user-group", "--no-create-home", "--home-dir", self.home, "--shell", "/bin/sh", USER)
        self.user = pwd.getpwnam(USER)
        os.chown(self.home, self.user.pw_uid, self.user.pw_gid)
        self.folder = os.path.join(self.home, ".local", "share", "tessivar")
        self.servers = Servers(midi=MachineSequencer())
        self.addCleanup(self.servers.stop)
        self.servers.start()

    def make_package(self, *options):
        made = subprocess.run(["bash", os.path.join(SOURCE, "scripts", "make_deb.sh"), "--from-build", BUILD,
                               "--output", self.work, *options], capture_output=True, text=True, timeout=300)
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        return made.stdout.strip()

    def start_as_user(self, first):
        """The desktop entry's command, run by the user in a session of their own."""
        parser = configparser.ConfigParser(interpolation=None)
        parser.optionxform = str
        parser.read(f"/usr/share/applications/{APP_ID}.desktop")
        entry = parser["Desktop Entry"]
        command = [*AS_ROOT, "setpriv", f"--reuid={self.user.pw_uid}", f"--regid={self.user.pw_gid}",
                   "--init-groups", "env", "-i", f"HOME={self.home}", f"USER={USER}", f"LOGNAME={USER}",
                   "PATH=/usr/local/bin:/usr/bin:/bin", f"DISPLAY={self.servers.display}", "QT_QPA_PLATFORM=xcb",
                   *shlex.split(entry["Exec"])]
        run_and_exit(self, self.servers, command, os.environ, self.folder, entry["StartupWMClass"], first)

    def in_folder(self, path):
        return os.path.join(self.folder, path)

    def test_install_start_upgrade_remove_and_purge(self):
        package = self.make_package()
        lintian = subprocess.run(["lintian", "--fail-on", "error", package], capture_output=True, text=True)
        print(f"lintian {os.path.basename(package)}:\n{lintian.stdout}{lintian.stderr}", flush=True)
        self.assertEqual(lintian.returncode, 0)
        depends = subprocess.run(["dpkg-deb", "-f", package, "Depends"], capture_output=True, text=True).stdout
        for wanted in ("libqt6widgets6", "libjack", "libfluidsynth3", "timgm6mb-soundfont | fluid-soundfont-gm"):
            self.assertIn(wanted, depends)

        apt_get("install", package)
        lib = "/usr/lib/tessivar/program"
        self.start_as_user(first=True)
        for name in PROGRAMS:
            self.assertEqual(read(self.in_folder(name)), read(os.path.join(lib, name)), name)
        self.assertEqual(os.stat(self.in_folder("CONFIGS/Default.cfg")).st_uid, self.user.pw_uid)

        # The user's choices and a shipped key map they changed; the next version ships a
        # changed skin.
        mine = {"CONFIGS/Default.cfg": config_bytes(octave=5, playing_channel=9),
                "KEYMAPS/Tracker.key": b"ZVQ changed by the user"}
        for path, data in mine.items():
            write(self.in_folder(path), data)
        newer = os.path.join(self.work, "newer")
        subprocess.run(["dpkg-deb", "-R", self.make_package("--version", "1.5+e2e1"), newer], check=True)
        write(os.path.join(newer, lib[1:], "SKINS/Dark.bmp"), b"BM the newer skin")
        upgrade = os.path.join(self.work, "upgrade.deb")
        subprocess.run(["dpkg-deb", "--root-owner-group", "-b", newer, upgrade], check=True, capture_output=True)
        apt_get("install", upgrade)
        self.assertEqual(installed_version(), "1.5+e2e1")
        self.start_as_user(first=False)
        for path, data in mine.items():
            self.assertEqual(read(self.in_folder(path)), data, path)
        self.assertEqual(read(self.in_folder("SKINS/Dark.bmp")), b"BM the newer skin")

        apt_get("remove", "tessivar")
        self.assertFalse(os.path.exists("/usr/bin/tessivar"))
        self.assertEqual(read(self.in_folder("CONFIGS/Default.cfg")), mine["CONFIGS/Default.cfg"])
        purged = apt_get("purge", "tessivar")
        self.assertIn(self.folder, purged)
        self.assertFalse(os.path.exists("/usr/lib/tessivar"))
        self.assertEqual(read(self.in_folder("KEYMAPS/Tracker.key")), mine["KEYMAPS/Tracker.key"])


if __name__ == "__main__":
    SOURCE = os.path.abspath(sys.argv.pop(1))
    BUILD = os.path.abspath(sys.argv.pop(1))
    result = unittest.main(verbosity=2, exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    if result.skipped:
        print("SKIPPED: " + "; ".join(sorted({reason for _, reason in result.skipped})))
        sys.exit(77)
