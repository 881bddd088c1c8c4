"""End-to-end: a seeded random player. Rounds of random actions at player speed and at full
speed: note keys held and released in overlapping order, Space, F1..F9, F10 followed by
letters and arrow keys, Escape, Alt with menu letters, clicks on the menu bar and on the
picture, the mouse held on the picture and dragged across and off it, the About box, the focus going to another window and back, the keyboard grabbed
by another client for a moment; and in some rounds a signal that ends the program while
keys are held. At the end of every round every key is up, and every note each device got
must have been ended; the program is alive, or ended by the signal with its configuration
saved.

The seed is printed; TESSIVAR_PLAYER_SEED replays one, TESSIVAR_PLAYER_ROUNDS sets the
number of rounds. On Wayland (wayland_test.py) the player has the keys, the focus and the
signals, without the mouse and the keyboard grab.

Usage: random_player_test.py PROGRAM_FOLDER [unittest options]"""

import os
import random
import signal
import sys
import time
import unittest

from harness import WINDOW_TITLE, MidiMonitor, PlayingTestCase, ProgramTestCase, config_bytes, short_string, wait_for
from x_input import XInput

MONITOR, VIRTUAL = 2, 1  # the recording device, and the playing device (the virtual output)
ROUNDS = int(os.environ.get("TESSIVAR_PLAYER_ROUNDS", "14"))
ACTIONS_PER_ROUND = 32
NOTE_KEYS = list("zsxdcvgbhnjmqwertyuiop") + ["comma", "period", "2", "3", "5", "6"]
# Letters that are no item's mnemonic in any menu ("&Exit", "&Close All Devices",
# "&Homepage", "&About", "Edit &Keyboard" are not among them): safe to type into a menu
# that the player opened with the mouse or the arrow keys.
SAFE_KEYS = [k for k in NOTE_KEYS if k not in ("e", "h", "c", "k")]
# Where the menu bar's titles are, from the window's left edge.
TITLES = {"File": 18, "Setup": 58, "Devices": 110, "Tools": 160, "Help": 201}
SIGNALS = [signal.SIGTERM, signal.SIGHUP, signal.SIGINT]


def sounding_notes(messages):
    """The (channel, note) pairs left on by a device's messages."""
    on = set()
    for message in messages:
        status = message[0] & 0xF0
        if status == 0x90 and message[2] > 0:
            on.add((message[0] & 0x0F, message[1]))
        elif status in (0x80, 0x90):
            on.discard((message[0] & 0x0F, message[1]))
    return on


class WaylandInput:
    """The player's input on Wayland: the test class's virtual keyboard, the focus through
    the compositor, and the key-code viewer as the other window."""

    def __init__(self, test):
        self.test = test
        self.keyboard = test.keyboard
        self.viewer = None
        self.other_window = None

    def code(self, name):
        return self.keyboard.code(name)

    def send(self, events):
        self.keyboard.send(events)

    def tap(self, *names):
        for name in names:
            code = self.code(name)
            self.send([(code, True)])
            self.send([(code, False)])

    def show_other_window(self):
        if self.other_window is None:
            session = self.test.session
            self.viewer = self.test.servers.popen([session.path("scanpeek")], cwd=session.work)
            self.other_window = session.wait_window("Key Codes")
        return self.other_window

    def focus(self, window):
        self.test.session.focus(window)

    def close(self):
        if self.viewer:
            self.viewer.kill()
            self.viewer.wait()


class Player:
    """One run of the program under random input; the test's view of its state."""

    def __init__(self, test, generator):
        self.test = test
        self.random = generator
        self.wayland = getattr(test.servers.desktop, "platform", "") == "wayland"
        self.input = WaylandInput(test) if self.wayland else XInput(test.servers.display)
        self.held = []
        self.menu_maybe_open = False
        self.box_maybe_open = False
        self.away = False
        self.mouse_held = False
        self.note_ons = 0
        self.history = []

    # -- the program -------------------------------------------------------------------
    def start(self):
        config = dict(recording=MONITOR, playing=VIRTUAL, playing_channel=2)
        self.config = config
        self.window, _ = self.test.start(**config)
        session = self.test.session
        if not self.wayland:
            geometry = session.geometry(self.window)
            self.left, self.top = geometry["X"], geometry["Y"]
            self.picture_top = geometry["HEIGHT"] - 80
            self.width = geometry["WIDTH"]
        wait_for(lambda: "Tessivar:Tessivar" in session.jack_ports(), 10)
        session.run(["jack_connect", "Tessivar:Tessivar", self.test.second.port])
        self.test.second.take()

    def messages(self):
        return {"recording": self.test.monitor.take(), "playing": self.test.second.take()}

    # -- actions -----------------------------------------------------------------------
    def press(self, pool):
        free = [k for k in pool if k not in self.held]
        key = self.random.choice(free)
        self.held.append(key)
        self.input.send([(self.input.code(key), True)])
        return f"press {key}"

    def release(self):
        key = self.held.pop(self.random.randrange(len(self.held)))
        self.input.send([(self.input.code(key), False)])
        return f"release {key}"

    def click(self, x, y):
        self.input.send_mixed([("move", self.left + x, self.top + y), ("button", 1, True),
                               ("button", 1, False)])

    def picture_point(self):
        # Menus drop down over the left of the picture, with their submenus: a click there
        # would choose an item.
        x = self.random.randrange(600 if self.menu_maybe_open else 2, self.width - 2)
        return x, self.random.randrange(self.picture_top + 2, self.picture_top + 78)

    def mouse(self, kind):
        """The mouse held on the picture, dragged across it (and off it), let go."""
        if kind == "down":
            x, y = self.picture_point()
            self.input.send_mixed([("move", self.left + x, self.top + y), ("button", 1, True)])
            self.mouse_held = True
            self.menu_maybe_open = False
            return f"mouse down {x},{y}"
        if kind == "drag":
            x = self.random.randrange(-40, self.width + 40)
            y = self.random.randrange(self.picture_top - 30, self.picture_top + 110)
            self.input.send_mixed([("move", self.left + x, self.top + y)])
            return f"drag {x},{y}"
        self.input.send_mixed([("button", 1, False)])
        self.mouse_held = False
        return "mouse up"

    def f10_and_more(self):
        done = ["F10"]
        self.input.tap("F10")
        self.menu_maybe_open = True
        arrowed = False
        for _ in range(self.random.randint(1, 4)):
            if self.random.random() < 0.5:
                arrow = self.random.choice(["Down", "Up", "Left", "Right"])
                self.input.tap(arrow)
                arrowed = True
                done.append(arrow)
            else:
                # Before an arrow key only the File menu is open: every letter is typed.
                letter = self.random.choice(SAFE_KEYS if arrowed else NOTE_KEYS)
                self.input.tap(letter)
                done.append(letter)
        if not arrowed and self.random.random() < 0.6:
            # Only the File menu is open: one Escape closes it, and the keys are the
            # window's again at once.
            self.input.tap("Escape")
            self.menu_maybe_open = False
            done.append("Escape")
        elif self.random.random() < 0.5:
            self.close_menus()
            done.append("Escape Escape")
        return " ".join(done)

    def close_menus(self):
        """Escape closes every menu; the About box ends only by its buttons ("Close" has the
        focus, and Space presses it)."""
        self.input.tap("Escape", "Escape")
        self.menu_maybe_open = False
        if self.box_maybe_open:
            time.sleep(0.1)
            # The focus may have gone back to the main window, which the box blocks.
            for box in self.test.session.find_windows("About " + WINDOW_TITLE):
                self.input.focus(box)
                self.input.tap("space")
            self.box_maybe_open = False

    def act(self):
        inside = self.menu_maybe_open or self.box_maybe_open
        # Space and Return would choose an open menu's item; letters that are mnemonics
        # stay out of open menus (see SAFE_KEYS).
        choices = [("press", 26), ("release", 26 if self.held else 0), ("space", 0 if inside else 5),
                   ("octave", 4), ("f10", 0 if inside else 4), ("escape", 3), ("alt", 3),
                   ("title", 0 if self.box_maybe_open else 4), ("picture", 0 if self.box_maybe_open else 5),
                   ("about", 0 if inside else 1), ("away", 0 if self.away else 2),
                   ("back", 6 if self.away else 0), ("grab", 2 if self.held else 0), ("pause", 4),
                   ("mouse down", 0 if self.mouse_held or self.box_maybe_open else 4),
                   ("drag", 8 if self.mouse_held else 0), ("mouse up", 5 if self.mouse_held else 0)]
        if self.mouse_held:  # a click elsewhere would come with the button held
            choices = [(k, 0 if k in ("title", "picture", "about") else w) for k, w in choices]
        if self.wayland:  # no pointer, and no grab of the keyboard by another client
            choices = [(k, 0 if k in ("title", "picture", "about", "grab", "mouse down") else w)
                       for k, w in choices]
        kinds, weights = zip(*choices)
        kind = self.random.choices(kinds, weights)[0]
        if kind == "press":
            if len(self.held) >= 6:
                return self.release()
            return self.press(SAFE_KEYS if inside else NOTE_KEYS)
        if kind == "release":
            return self.release()
        if kind == "space":
            self.input.tap("space")
            return "Space"
        if kind == "octave":
            key = f"F{self.random.randint(2, 6)}"
            self.input.tap(key)
            return key
        if kind == "f10":
            return self.f10_and_more()
        if kind == "escape":
            self.input.tap("Escape")
            return "Escape"
        if kind == "alt":
            letter = self.random.choice("fsdt")
            alt = self.input.code("Alt_L")
            code = self.input.code(letter)
            self.input.send([(alt, True), (code, True), (code, False), (alt, False)])
            return f"Alt+{letter}"
        if kind == "title":
            title = self.random.choice(list(TITLES))
            self.click(TITLES[title], 9)
            self.menu_maybe_open = True
            return f"click {title}"
        if kind.startswith("mouse") or kind == "drag":
            return self.mouse(kind.split()[-1])
        if kind == "picture":
            x, y = self.picture_point()
            self.click(x, y)
            self.menu_maybe_open = False  # a click outside a menu closes it
            return f"click picture {x},{y}"
        if kind == "about":
            self.click(TITLES["Help"], 9)
            time.sleep(0.15)
            self.input.tap("a")  # "&About"
            self.box_maybe_open = True
            return "About"
        if kind == "away":
            self.input.focus(self.input.show_other_window())
            self.away = True
            return "focus away"
        if kind == "back":
            self.input.focus(self.window)
            self.away = False
            return "focus back"
        if kind == "grab":
            self.input.grab_keyboard()
            done = self.release()
            self.input.ungrab_keyboard()
            return f"grab, {done}, ungrab"
        time.sleep(self.random.uniform(0.05, 0.3))
        return "pause"

    def settle(self):
        """Every key up, menus and boxes closed, the focus back: the round's end."""
        while self.held:
            self.release()
        if self.mouse_held:
            self.mouse("up")
        if self.away:
            self.input.focus(self.window)
            self.away = False
        time.sleep(0.1)
        self.close_menus()
        time.sleep(0.4)

    # -- checks ------------------------------------------------------------------------
    def check_nothing_sounds(self, seed, round, messages):
        for device, got in messages.items():
            self.note_ons += sum(1 for m in got if m[0] & 0xF0 == 0x90 and m[2] > 0)
            left_on = sounding_notes(got)
            self.test.assertEqual(left_on, set(),
                                  f"seed {seed}, round {round}: notes left on at the {device} device "
                                  f"after {self.history[-12:]}; its messages of them: "
                                  f"{[m for m in got if (m[0] & 0x0F, m[1]) in left_on]}")

    def play_round(self, seed, round):
        self.history = []
        for _ in range(ACTIONS_PER_ROUND):
            self.history.append(self.act())
            if os.environ.get("TESSIVAR_PLAYER_TRACE"):
                print(f"  {round}: {self.history[-1]}", file=sys.stderr)
            if self.random.random() < 0.6:
                time.sleep(self.random.uniform(0, 0.02))
        self.settle()
        self.check_nothing_sounds(seed, round, self.messages())
        self.test.assertIsNone(self.test.session.program.poll(),
                               f"seed {seed}, round {round}: the program ended after {self.history[-12:]}")

    def end_by_signal(self, seed, round):
        """Keys held, a known octave, then a signal: the program ends as its close box ends
        it, with the configuration saved and nothing left sounding."""
        self.settle()
        octave = self.random.randint(1, 7)
        self.input.tap(f"F{octave + 1}")
        time.sleep(0.1)
        for _ in range(self.random.randint(1, 3)):
            self.press(NOTE_KEYS)
        time.sleep(0.2)
        which = self.random.choice(SIGNALS)
        session = self.test.session
        session.program.send_signal(which)
        self.test.assertEqual(session.wait_exit(timeout=15), 0,
                              f"seed {seed}, round {round}: {which.name} did not end the program as Exit does")
        self.history = [f"F{octave + 1}", *[f"press {k}" for k in self.held], which.name]
        while self.held:
            self.release()
        time.sleep(0.3)
        self.check_nothing_sounds(seed, round, self.messages())
        expected = config_bytes(config_name="E2E.cfg", octave=octave, **self.config)
        self.test.assertEqual(session.read("CONFIGS/E2E.cfg"), expected,
                              f"seed {seed}, round {round}: the configuration was not saved at {which.name}")
        self.test.assertEqual(session.read("setup.ini"), short_string("E2E.cfg"))
        self.start()


class RandomPlayerTest(PlayingTestCase):
    rounds = ROUNDS

    def setUp(self):
        ProgramTestCase.setUp(self)  # the program starts with two devices, below
        self.second = MidiMonitor(self.servers, f"playing{random.randint(1000, 9999)}")
        self.addCleanup(self.second.stop)
        wait_for(lambda: self.second.port in self.session.jack_ports(), 5)

    def test_no_note_outlives_its_key_or_the_keyboard(self):
        seed = int(os.environ.get("TESSIVAR_PLAYER_SEED", random.randrange(1 << 31)))
        print(f"random player seed {seed} (TESSIVAR_PLAYER_SEED={seed} replays it)", file=sys.stderr)
        player = Player(self, random.Random(seed))
        self.addCleanup(player.input.close)
        player.start()
        for round in range(self.rounds):
            if round % 4 == 3:
                player.end_by_signal(seed, round)
            else:
                player.play_round(seed, round)
        self.assertGreater(player.note_ons, 3 * self.rounds, "the player hardly played")


if __name__ == "__main__":
    ProgramTestCase.program_folder = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
