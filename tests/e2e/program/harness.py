"""The built program in a fresh program folder under a private X server and a private
JACK server (dummy driver), with a JACK MIDI monitor whose messages can be read back."""

import os
import random
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

WINDOW_TITLE = "Tessivar v1.5"


def _end_with_parent():
    """Every process a test starts gets SIGTERM when the test process dies, even when the
    test is killed, so no server outlives it."""
    try:
        import ctypes
        ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except OSError:
        pass


def _jackd_alive():
    return subprocess.run(["pgrep", "-x", "jackd"], capture_output=True).returncode == 0


def short_string(text):
    data = text.encode("latin-1")
    return bytes([len(data)]) + data


def config_bytes(config_name="Default.cfg", skin="Classic.bmp", spare=-1, recording=-1, playing=-1,
                 keymap="Tracker.key", patches="Gm.kit", octave=3, recording_instrument=-1,
                 playing_instrument=-1, recording_channel=1, playing_channel=1):
    """A configuration file as the program writes it."""
    return (short_string("ZVQ_TESSIVARDECK_CONFIGFILE") + short_string(config_name) + short_string(skin)
            + struct.pack("<iii", spare, recording, playing) + short_string(keymap)
            + short_string(patches) + bytes([octave])
            + struct.pack("<ii", recording_instrument, playing_instrument)
            + bytes([recording_channel, playing_channel]))


def wait_for(condition, timeout=10.0, interval=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        time.sleep(interval)
    return condition()


class MidiMonitor:
    """jack_midi_dump under its own client name; every line it prints is parsed into the
    bytes of one message."""

    def __init__(self, env, name):
        self.name = name
        self.port = name + ":input"
        self.messages = []
        self._lock = threading.Lock()
        self._process = subprocess.Popen(["stdbuf", "-oL", "jack_midi_dump", name], env=env,
                                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                         preexec_fn=_end_with_parent)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in self._process.stdout:
            if ":" not in line:
                continue
            fields = [int(f, 16) for f in re.findall(r"\b[0-9a-fA-F]{2}\b", line.split(":", 1)[1])]
            if fields and fields[0] >= 0x80:
                # The monitor prints more after the message; keep the bytes its status implies.
                length = 2 if fields[0] & 0xE0 == 0xC0 else 3
                with self._lock:
                    self.messages.append(tuple(fields[:length]))

    def take(self):
        with self._lock:
            taken, self.messages = self.messages, []
        return taken

    def wait_count(self, count, timeout=5.0):
        wait_for(lambda: len(self.messages) >= count, timeout)
        time.sleep(0.2)  # anything that follows late still counts
        return self.take()

    def stop(self):
        self._process.terminate()
        try:
            self._process.wait(timeout=3)
        except subprocess.TimeoutExpired:
            self._process.kill()
            self._process.wait()
        self._reader.join(timeout=3)
        self._process.stdout.close()


class Servers:
    """A private X display and a private JACK server (dummy driver), shared by the tests
    of one class."""

    def __init__(self):
        self.work = tempfile.mkdtemp(prefix="tessivar-e2e-servers-")
        self.display = None
        self.env = dict(os.environ)
        self.processes = []

    def start(self):
        for _ in range(20):
            number = random.randint(100, 900)
            if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(f"/tmp/.X{number}-lock"):
                break
        self.display = f":{number}"
        xvfb = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, preexec_fn=_end_with_parent)
        self.processes.append(xvfb)
        self.env.update({"DISPLAY": self.display, "QT_QPA_PLATFORM": "xcb",
                         "JACK_DEFAULT_SERVER": f"tessivar-e2e-{os.getpid()}-{number}",
                         "JACK_NO_AUDIO_RESERVATION": "1", "XDG_RUNTIME_DIR": self.work,
                         "XDG_CONFIG_HOME": self.work,
                         "HOME": self.work})
        self.env.pop("QT_QPA_PLATFORMTHEME", None)
        if not wait_for(lambda: self.run(["xdpyinfo"], check=False).returncode == 0, 10):
            raise RuntimeError("Xvfb did not start")
        if not self._start_jack():
            # JACK keeps at most 8 servers in its registry and never frees the entry of a
            # server that was killed; with no server alive the registry can go.
            if not _jackd_alive() and os.path.exists("/dev/shm/jack-shm-registry"):
                os.remove("/dev/shm/jack-shm-registry")
            if not self._start_jack():
                raise RuntimeError("jackd did not start")
        # Key auto-repeat as a desktop has it: a held key repeats after 200 ms.
        self.run(["xset", "r", "on"], check=False)
        self.run(["xset", "r", "rate", "200", "30"], check=False)

    def stop_jack(self):
        """Stops the JACK server, as a user does to change its settings."""
        self.jack.send_signal(signal.SIGTERM)
        self.jack.wait(timeout=10)
        self.processes.remove(self.jack)

    def start_jack(self):
        """Starts the JACK server again under the same name."""
        if not self._start_jack():
            raise RuntimeError("jackd did not start again")

    def _start_jack(self):
        jack = subprocess.Popen(["jackd", "-n", self.env["JACK_DEFAULT_SERVER"], "-d", "dummy", "-r", "48000",
                                 "-p", "256"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                preexec_fn=_end_with_parent)
        self.processes.append(jack)
        self.jack = jack
        started = wait_for(lambda: jack.poll() is not None or self.run(["jack_lsp"], check=False).returncode == 0, 10)
        return started and jack.poll() is None

    def run(self, command, check=True, timeout=20):
        return subprocess.run(command, env=self.env, capture_output=True, text=True, check=check,
                              timeout=timeout)

    def stop(self):
        for process in reversed(self.processes):
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        shutil.rmtree(self.work, ignore_errors=True)


class Session:
    """One run of the program in a fresh copy of its program folder, with a MIDI monitor."""

    def __init__(self, servers, program_folder):
        self.servers = servers
        self.env = servers.env
        self.work = tempfile.mkdtemp(prefix="tessivar-e2e-")
        self.folder = os.path.join(self.work, "program")
        shutil.copytree(program_folder, self.folder, symlinks=True)
        self.program = None
        self.monitor = MidiMonitor(self.env, f"monitor{random.randint(1000, 9999)}")
        wait_for(lambda: self.monitor.port in self.jack_ports(), 5)

    def run(self, command, check=True, timeout=20):
        return self.servers.run(command, check, timeout)

    def jack_ports(self):
        return self.run(["jack_lsp"], check=False).stdout.split()

    # -- the program folder ----------------------------------------------------------
    def path(self, relative):
        return os.path.join(self.folder, relative)

    def write(self, relative, data):
        with open(self.path(relative), "wb") as f:
            f.write(data)

    def read(self, relative):
        try:
            with open(self.path(relative), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return None

    def use_config(self, **fields):
        """Writes CONFIGS/<name> and points setup.ini at it, so the run starts with it."""
        name = fields.setdefault("config_name", "E2E.cfg")
        self.write(os.path.join("CONFIGS", name), config_bytes(**fields))
        self.write("setup.ini", short_string(name))
        return config_bytes(**fields)

    # -- the program -------------------------------------------------------------------
    def start_program(self, wait_window=True):
        if self.program:
            self.log.close()
        self.log = open(os.path.join(self.work, "program.log"), "w")
        self.program = subprocess.Popen([self.path("tessivar")], cwd=self.work, env=self.env,
                                        stdout=self.log, stderr=subprocess.STDOUT, preexec_fn=_end_with_parent)
        if wait_window:
            window = self.wait_window(WINDOW_TITLE)
            if not window:
                raise RuntimeError("the main window did not appear")
            self.focus(window)
            return window
        return None

    def find_windows(self, title):
        result = self.run(["xdotool", "search", "--onlyvisible", "--name", f"^{re.escape(title)}$"], check=False)
        return result.stdout.split()

    def wait_window(self, title, timeout=15):
        windows = wait_for(lambda: self.find_windows(title), timeout)
        return windows[0] if windows else None

    def focus(self, window):
        self.run(["xdotool", "windowfocus", "--sync", window], check=False)
        time.sleep(0.3)

    def geometry(self, window):
        out = self.run(["xdotool", "getwindowgeometry", "--shell", window]).stdout
        values = dict(line.split("=", 1) for line in out.split())
        return {k: int(v) for k, v in values.items() if k in ("X", "Y", "WIDTH", "HEIGHT")}

    def key(self, *keys):
        self.run(["xdotool", "key", "--delay", "60", *keys])

    def key_down(self, key):
        self.run(["xdotool", "keydown", key])

    def key_up(self, key):
        self.run(["xdotool", "keyup", key])

    def click(self, window, x, y):
        self.run(["xdotool", "mousemove", "--window", window, str(x), str(y), "click", "1"])
        time.sleep(0.3)

    def icon_sizes(self, window):
        """The sizes of the icons the window offers the desktop."""
        out = self.run(["xprop", "-id", window, "_NET_WM_ICON"], check=False).stdout
        return [(int(w), int(h)) for w, h in re.findall(r"Icon \((\d+) x (\d+)\)", out)]

    def screenshot(self, window, name):
        target = os.path.join(self.work, name)
        self.run(["import", "-window", window, target])
        return target

    def exit_through_menu(self, window):
        """File > Exit with the mouse and the item's mnemonic, then wait for the end."""
        self.click(window, 14, 10)
        self.key("e")
        return self.wait_exit()

    def wait_exit(self, timeout=15):
        try:
            self.program.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None
        return self.program.returncode

    def output(self):
        with open(os.path.join(self.work, "program.log")) as f:
            return f.read()

    def close(self):
        if self.program and self.program.poll() is None:
            self.program.kill()
            self.program.wait()
        if self.program:
            self.log.close()
        self.monitor.stop()
        wait_for(lambda: self.monitor.port not in self.jack_ports(), 5)
        shutil.rmtree(self.work, ignore_errors=True)


class ProgramTestCase(unittest.TestCase):
    """Tests of the built program: one X server and one JACK server for the whole class, a
    session of its own (program folder, MIDI monitor) for every test."""
    program_folder = None

    @classmethod
    def setUpClass(cls):
        cls.servers = Servers()
        cls.addClassCleanup(cls.servers.stop)
        cls.servers.start()

    def setUp(self):
        self.session = self.new_session()
        self.monitor = self.session.monitor

    def new_session(self):
        session = Session(self.servers, self.program_folder)
        self.addCleanup(session.close)
        return session

    def start(self, **config):
        """Starts the program with a configuration of these settings; the main window and
        the configuration's bytes."""
        written = self.session.use_config(**config)
        window = self.session.start_program()
        self.monitor.take()
        return window, written


MONITOR_DEVICE = 2  # the built-in synthesizer, the virtual output, then the session's monitor


class PlayingTestCase(ProgramTestCase):
    """Tests that play keys into the program: the X server repeats no held key (a repeated
    press would strike a held note again), and every test starts with the program playing
    to the session's monitor (self.window), nothing received yet."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.servers.run(["xset", "r", "off"], check=False)

    def setUp(self):
        super().setUp()
        self.window, _ = self.start(recording=MONITOR_DEVICE)
