"""The built program in a fresh program folder under a private display (Xvfb, or a headless
Wayland compositor) and a private MIDI server (JACK with its dummy driver, or PipeWire),
with a JACK MIDI monitor whose messages can be read back."""

import ctypes
import json
import os
import pwd
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

from x_input import XInput

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


# Run by the system's Python, which has the accessibility library's bindings: every window
# of every program on the accessibility bus, as [name, [children...]].
_READ_ACCESSIBLE = r"""
import json, gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi
tree = lambda node: [node.get_name(), [tree(node.get_child_at_index(i)) for i in range(node.get_child_count())]]
desktop = Atspi.get_desktop(0)
apps = [desktop.get_child_at_index(i) for i in range(desktop.get_child_count())]
print(json.dumps([tree(app.get_child_at_index(i)) for app in apps for i in range(app.get_child_count())]))
"""


def accessible_texts(servers, *path):
    """The names of the children of the accessible object found by this path of names (a
    window's title first, each name the nearest below the one before), as the programs
    started with the servers' session bus show them; None when there is no such object.
    The first request wakes the programs' accessibility up."""
    def below(nodes, name):
        while nodes:
            found = next((children for node_name, children in nodes if node_name == name), None)
            if found is not None:
                return found
            nodes = [child for _, children in nodes for child in children]
        return None

    def read():
        nodes = json.loads(servers.run(["/usr/bin/python3", "-c", _READ_ACCESSIBLE], check=False).stdout or "[]")
        for name in path:
            nodes = below(nodes, name)
            if nodes is None:
                return None
        while len(nodes) == 1 and not nodes[0][0]:  # a menu item holds its menu
            nodes = nodes[0][1]
        return [name for name, _ in nodes]
    return wait_for(read, 5, 0.2)


class MidiMonitor:
    """A MIDI monitor under its own client name: jack_midi_monitor, or the command given (the
    ALSA sequencer's alsa_midi_dump); both say "ready" once they listen; every line they
    print is parsed into the bytes of one message."""

    def __init__(self, servers, name, command=None):
        self.name = name
        self.port = name + ":input"
        self.messages = []
        self.ready = False
        self._lock = threading.Lock()
        # The tests' own JACK monitor (built with them): jack_midi_dump's small ring drops
        # messages once a busy machine holds back its printing thread.
        monitor = os.environ.get("TESSIVAR_JACK_MIDI_MONITOR")
        command = command or ([monitor, name] if monitor else ["stdbuf", "-oL", "jack_midi_dump", name])
        self._process = servers.popen(command, stdout=subprocess.PIPE, text=True)  # its complaints go to the test log
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for line in self._process.stdout:
            self.ready = self.ready or line.startswith("ready")
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


class WaylandKeyboard:
    """The same keys on a Wayland compositor, from one virtual keyboard of the given XKB
    layout (tests/support/wayland/wayland_keyboard); codes are evdev codes, by position."""

    def __init__(self, env, layout="us"):
        self._process = subprocess.Popen([os.environ["TESSIVAR_WAYLAND_KEYBOARD"], layout], env=env,
                                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1,
                                         preexec_fn=_end_with_parent)
        if self._process.stdout.readline().strip() != "ready":
            raise RuntimeError("the virtual keyboard did not start")
        # A headless seat has no keyboard until this one comes: only then do clients ask
        # for their keyboard, and the keys held by then arrive inside its enter event,
        # which toolkits take as no press (the release still comes). So one keyboard
        # serves a whole test, and keys wait until the clients have theirs.
        time.sleep(1.0)

    def _ask(self, line):
        self._process.stdin.write(line + "\n")
        return self._process.stdout.readline().strip()

    def code(self, name):
        code = int(self._ask("code " + name))
        if code < 0:
            raise KeyError(name)
        return code

    def send(self, events):
        if self._ask("keys " + " ".join(("+" if pressed else "-") + str(code) for code, pressed in events)) != "ok":
            raise RuntimeError("the virtual keyboard failed")

    def close(self):
        self._process.stdin.close()
        self._process.wait(timeout=5)
        self._process.stdout.close()


class XvfbDisplay:
    """A private X server (Xvfb) with a desktop's key auto-repeat."""
    platform = "xcb"

    def start(self, servers):
        for _ in range(20):
            number = random.randint(100, 900)
            if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(f"/tmp/.X{number}-lock"):
                break
        self.name = f":{number}"
        servers.spawn(["Xvfb", self.name, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"])
        servers.env.update({"DISPLAY": self.name, "QT_QPA_PLATFORM": "xcb"})
        if not wait_for(lambda: servers.run(["xdpyinfo"], check=False).returncode == 0, 10):
            raise RuntimeError("Xvfb did not start")
        # Key auto-repeat as a desktop has it: a held key repeats after 200 ms.
        servers.run(["xset", "r", "on"], check=False)
        servers.run(["xset", "r", "rate", "200", "30"], check=False)

    def auto_repeat(self, servers, on):
        servers.run(["xset", "r", "on" if on else "off"], check=False)

    def keyboard(self, servers):
        return XInput(self.name)

    def find_windows(self, servers, title):
        result = servers.run(["xdotool", "search", "--onlyvisible", "--name", f"^{re.escape(title)}$"], check=False)
        return result.stdout.split()

    def focus(self, servers, window):
        servers.run(["xdotool", "windowfocus", "--sync", window], check=False)


class SwayDisplay:
    """A private headless Wayland compositor (sway), with the same key auto-repeat. Sway
    refuses to run as root: then it runs as an unprivileged user, in a home and runtime
    folder of its own, and the clients stay root with the socket's absolute path."""
    platform = "wayland"
    CONFIG = ("xwayland disable\n"
              "output HEADLESS-1 resolution 1024x768\n"
              "input type:keyboard {\n  repeat_delay 200\n  repeat_rate 30\n}\n")

    def start(self, servers):
        if not shutil.which("sway"):
            raise unittest.SkipTest("sway is not installed")
        if not os.environ.get("TESSIVAR_WAYLAND_KEYBOARD"):
            raise unittest.SkipTest("the virtual keyboard was not built (no Wayland client library)")
        user = None
        if os.geteuid() == 0:
            try:
                user = pwd.getpwnam(os.environ.get("TESSIVAR_COMPOSITOR_USER", "nobody"))
            except KeyError:
                raise unittest.SkipTest("no unprivileged user to run the compositor as (sway refuses root)")
        folder = os.path.join(servers.work, "sway")
        runtime = os.path.join(folder, "runtime")
        os.makedirs(runtime, mode=0o700)
        with open(os.path.join(folder, "config"), "w") as f:
            f.write(self.CONFIG)
        os.chmod(servers.work, 0o711)  # the compositor reaches its folder, not the others
        self.ipc = os.path.join(runtime, "ipc.sock")
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": folder, "XDG_RUNTIME_DIR": runtime,
               "SWAYSOCK": self.ipc, "WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1",
               "WLR_RENDERER": "pixman"}
        command = ["sway", "-c", os.path.join(folder, "config")]
        if user:
            for path in (folder, runtime, os.path.join(folder, "config")):
                os.chown(path, user.pw_uid, user.pw_gid)
            command = ["setpriv", f"--reuid={user.pw_uid}", f"--regid={user.pw_gid}", "--clear-groups"] + command
        sway = servers.spawn(command, env=env)
        sockets = wait_for(lambda: sway.poll() is None and os.path.exists(self.ipc)
                           and [n for n in os.listdir(runtime) if re.fullmatch(r"wayland-\d+", n)], 10)
        if not sockets:
            raise RuntimeError("sway did not start")
        self.name = os.path.join(runtime, sockets[0])
        servers.env.update({"WAYLAND_DISPLAY": self.name, "SWAYSOCK": self.ipc, "QT_QPA_PLATFORM": "wayland"})
        servers.env.pop("DISPLAY", None)

    def auto_repeat(self, servers, on):
        # Set before any keyboard exists: a keyboard set up again takes the focus anew.
        servers.run(["swaymsg", "input", "type:keyboard", "repeat_rate", "30" if on else "0"])

    def keyboard(self, servers, layout="us"):
        return WaylandKeyboard(servers.env, layout)

    def tree(self, servers):
        return json.loads(servers.run(["swaymsg", "-t", "get_tree", "-r"]).stdout)

    def find_windows(self, servers, title):
        found = []

        def walk(node):
            if node.get("name") == title and node.get("visible") and node.get("type") in ("con", "floating_con"):
                found.append(str(node["id"]))
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)
        walk(self.tree(servers))
        return found

    def focus(self, servers, window):
        servers.run(["swaymsg", f"[con_id={window}]", "focus"], check=False)


class JackServer:
    """A private JACK server (dummy driver)."""
    jack = True

    def __init__(self, period=256):
        self.period = period

    def start(self, servers):
        servers.env.update({"JACK_DEFAULT_SERVER": f"tessivar-e2e-{os.getpid()}-{random.randint(0, 99999)}",
                            "JACK_NO_AUDIO_RESERVATION": "1"})
        if not self._start(servers):
            # JACK keeps at most 8 servers in its registry and never frees the entry of a
            # server that was killed; with no server alive the registry can go.
            if not _jackd_alive() and os.path.exists("/dev/shm/jack-shm-registry"):
                os.remove("/dev/shm/jack-shm-registry")
            if not self._start(servers):
                raise RuntimeError("jackd did not start")

    def stop(self, servers):
        """Stops the server, as a user does to change its settings."""
        self._process.send_signal(signal.SIGTERM)
        self._process.wait(timeout=10)
        servers.processes.remove(self._process)

    def start_again(self, servers):
        """The server again under the same name."""
        if not self._start(servers):
            raise RuntimeError("jackd did not start again")

    def _start(self, servers):
        # Synchronous: a client late in a cycle on a busy machine delays the cycle rather than
        # missing it, so the monitor sees every message the tests judge.
        jack = self._process = servers.spawn(["jackd", "-S", "-n", servers.env["JACK_DEFAULT_SERVER"], "-d", "dummy",
                                              "-r", "48000", "-p", str(self.period)])
        started = wait_for(lambda: jack.poll() is not None or servers.run(["jack_lsp"], check=False).returncode == 0,
                           10)
        return started and jack.poll() is None

    def command(self, command):
        return command


class PipeWireServer:
    """A private PipeWire with its session manager and its pulse server, on a session bus
    of its own (without one the session manager quits), and a null sink as the default
    output. JACK clients run on PipeWire's JACK library."""
    jack = True
    SINK = "tessivar_null"

    def start(self, servers):
        missing = [p for p in ("pipewire", "wireplumber", "pipewire-pulse", "pw-jack", "dbus-daemon")
                   if not shutil.which(p)]
        if missing:
            raise unittest.SkipTest("PipeWire is not installed: no " + ", ".join(missing))
        snippets = os.path.join(servers.env["XDG_CONFIG_HOME"], "pipewire", "pipewire.conf.d")
        os.makedirs(snippets)
        with open(os.path.join(snippets, "null-sink.conf"), "w") as f:
            f.write("context.objects = [ { factory = adapter args = { factory.name = support.null-audio-sink\n"
                    f"  node.name = {self.SINK} media.class = Audio/Sink audio.position = [ FL FR ]\n"
                    "  priority.session = 10000 } } ]\n")
        servers.session_bus()
        servers.env.pop("PIPEWIRE_REMOTE", None)
        servers.env.pop("PULSE_SERVER", None)
        self.start_again(servers)

    def stop(self, servers):
        """Stops PipeWire and its session manager, as a desktop restarting them does."""
        for process in reversed(self._daemons):
            process.send_signal(signal.SIGTERM)
            process.wait(timeout=10)
            servers.processes.remove(process)
        socket = os.path.join(servers.env["XDG_RUNTIME_DIR"], "pipewire-0")
        wait_for(lambda: not os.path.exists(socket), 5)

    def start_again(self, servers):
        self._daemons = []
        for daemon in ("pipewire", "wireplumber", "pipewire-pulse"):
            self._daemons.append(servers.spawn([daemon]))
            if daemon == "pipewire":
                if not wait_for(lambda: os.path.exists(os.path.join(servers.env["XDG_RUNTIME_DIR"], "pipewire-0")), 10):
                    raise RuntimeError("pipewire did not start")
        # The session manager has the graph ready once JACK clients see the sink's ports.
        if not wait_for(lambda: self.SINK in servers.run(["jack_lsp"], check=False).stdout, 15):
            raise RuntimeError("PipeWire's graph did not come up: " + servers.run(["jack_lsp"], check=False).stderr)

    def command(self, command):
        return ["pw-jack", *command]


class MachineSequencer:
    """No MIDI server of the tests' own: the machine's ALSA sequencer serves, and the tests
    bring their own monitor client."""
    jack = False

    def start(self, servers):
        pass

    def command(self, command):
        return command


class Servers:
    """A private display (Xvfb, or a Wayland compositor) and a private MIDI server (JACK,
    or PipeWire), shared by the tests of one class."""

    def __init__(self, desktop=None, midi=None):
        self.work = tempfile.mkdtemp(prefix="tessivar-e2e-servers-")
        self.desktop = desktop or XvfbDisplay()
        self.midi = midi or JackServer()
        self.display = None
        self.env = dict(os.environ)
        self.processes = []
        self._bus = None

    def start(self):
        runtime = os.path.join(self.work, "runtime")
        os.mkdir(runtime, mode=0o700)
        self.env.update({"XDG_RUNTIME_DIR": runtime, "XDG_CONFIG_HOME": self.work, "HOME": self.work})
        self.env.pop("QT_QPA_PLATFORMTHEME", None)
        self.desktop.start(self)
        self.display = self.desktop.name
        self.midi.start(self)

    def session_bus(self):
        """A D-Bus session bus of the servers' own, made at the first call."""
        if "DBUS_SESSION_BUS_ADDRESS" not in self.env or not self._bus:
            self._bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                   stdout=subprocess.PIPE)
            self.env["DBUS_SESSION_BUS_ADDRESS"] = self._bus.stdout.readline().strip()
            # Programs started from now on show their windows to accessible_texts.
            self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        return self.env["DBUS_SESSION_BUS_ADDRESS"]

    def spawn(self, command, env=None, stdout=subprocess.DEVNULL):
        """A server process that ends with the servers (and with the test process)."""
        process = subprocess.Popen(command, env=env or self.env, stdout=stdout, stderr=subprocess.DEVNULL,
                                   text=True, preexec_fn=_end_with_parent)
        self.processes.append(process)
        return process

    def popen(self, command, **options):
        """A client of the servers (on the MIDI server's JACK library)."""
        return subprocess.Popen(self.midi.command(command), env=self.env, preexec_fn=_end_with_parent, **options)

    def run(self, command, check=True, timeout=20):
        return subprocess.run(self.midi.command(command), env=self.env, capture_output=True, text=True,
                              check=check, timeout=timeout)

    def stop(self):
        for process in reversed(self.processes):
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            if process.stdout:
                process.stdout.close()
        shutil.rmtree(self.work, ignore_errors=True)


class Session:
    """One run of the program in a fresh copy of its program folder, with a JACK MIDI
    monitor when the servers have JACK."""

    def __init__(self, servers, program_folder):
        self.servers = servers
        self.env = servers.env
        self.work = tempfile.mkdtemp(prefix="tessivar-e2e-")
        self.folder = os.path.join(self.work, "program")
        shutil.copytree(program_folder, self.folder, symlinks=True)
        self.program = None
        self.monitor = None
        if servers.midi.jack:
            self.monitor = MidiMonitor(servers, f"monitor{random.randint(1000, 9999)}")
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
        self.program = self.servers.popen([self.path("tessivar")], cwd=self.work, stdout=self.log,
                                          stderr=subprocess.STDOUT)
        if wait_window:
            window = self.wait_window(WINDOW_TITLE)
            if not window:
                raise RuntimeError("the main window did not appear")
            self.focus(window)
            return window
        return None

    def find_windows(self, title):
        return self.servers.desktop.find_windows(self.servers, title)

    def wait_window(self, title, timeout=15):
        windows = wait_for(lambda: self.find_windows(title), timeout)
        return windows[0] if windows else None

    def focus(self, window):
        self.servers.desktop.focus(self.servers, window)
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
        if self.monitor:
            self.monitor.stop()
            wait_for(lambda: self.monitor.port not in self.jack_ports(), 5)
        shutil.rmtree(self.work, ignore_errors=True)


class ProgramTestCase(unittest.TestCase):
    """Tests of the built program: one display and one MIDI server for the whole class (Xvfb
    and JACK unless the class names others), a session of its own (program folder, MIDI
    monitor) for every test."""
    program_folder = None
    desktop = XvfbDisplay
    midi = JackServer

    @classmethod
    def setUpClass(cls):
        cls.servers = Servers(cls.desktop(), cls.midi())
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
        if self.monitor:
            self.monitor.take()
        return window, written


MONITOR_DEVICE = 2  # the built-in synthesizer, the virtual output, then the session's monitor


class PlayingTestCase(ProgramTestCase):
    """Tests that play keys into the program: the display repeats no held key (a repeated
    press would strike a held note again), one keyboard (self.keyboard: code(name),
    send([(code, pressed)...])) serves the whole class, and every test starts with the
    program playing to the session's monitor (self.window), nothing received yet."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.servers.desktop.auto_repeat(cls.servers, False)
        cls.keyboard = cls.servers.desktop.keyboard(cls.servers)
        cls.addClassCleanup(cls.keyboard.close)

    def setUp(self):
        super().setUp()
        self.window, _ = self.start(recording=MONITOR_DEVICE)


def main():
    """Runs the tests of the calling script on the program folder given first. Exits 77
    (skipped, with the reasons printed) when a test could not run on this machine."""
    ProgramTestCase.program_folder = os.path.abspath(sys.argv.pop(1))
    result = unittest.main(module="__main__", verbosity=2, exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    if result.skipped:
        print("SKIPPED: " + "; ".join(sorted({reason for _, reason in result.skipped})))
        sys.exit(77)
