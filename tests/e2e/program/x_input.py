"""Input put into an X server through XTest (keys, mouse buttons, pointer moves), several
events in one request batch when wanted so that the server stamps them with the same time
(keys are named by their X keysym on a US layout, as xdotool names them: "z", "space",
"F4", "Shift_L");
and a window of another client, to take the focus or grab the keyboard away from the
program as another program or a desktop's hot key does."""

import ctypes
import ctypes.util


class XInput:
    def __init__(self, display_name):
        self.x11 = x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
        self.xtst = xtst = ctypes.CDLL(ctypes.util.find_library("Xtst"))
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XStringToKeysym.restype = ctypes.c_ulong
        x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XCreateSimpleWindow.restype = ctypes.c_ulong
        x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                            ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong,
                                            ctypes.c_ulong]
        x11.XMapWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XDestroyWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
        x11.XGrabKeyboard.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                      ctypes.c_int, ctypes.c_ulong]
        x11.XUngrabKeyboard.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                              ctypes.c_ulong]
        self.display = x11.XOpenDisplay(display_name.encode())
        if not self.display:
            raise RuntimeError("cannot open the X display")
        self.other_window = None

    def code(self, name):
        return self.x11.XKeysymToKeycode(self.display, self.x11.XStringToKeysym(name.encode()))

    def send(self, events):
        """events: (keycode, pressed) pairs, sent together."""
        self.send_mixed([("key", code, pressed) for code, pressed in events])

    def send_mixed(self, events):
        """events: ("key", keycode, pressed), ("button", number, pressed) or
        ("move", x, y) on the screen, sent together."""
        for kind, a, b in events:
            if kind == "key":
                self.xtst.XTestFakeKeyEvent(self.display, a, 1 if b else 0, 0)
            elif kind == "button":
                self.xtst.XTestFakeButtonEvent(self.display, a, 1 if b else 0, 0)
            else:
                self.xtst.XTestFakeMotionEvent(self.display, -1, a, b, 0)
        self.x11.XSync(self.display, 0)

    def tap(self, *names):
        """Each key pressed and released, one after the other."""
        for name in names:
            code = self.code(name)
            self.send([(code, True), (code, False)])

    def show_other_window(self):
        """A plain window of this client, away from the program's, to give the focus to."""
        if self.other_window is None:
            self.other_window = self.x11.XCreateSimpleWindow(
                self.display, self.x11.XDefaultRootWindow(self.display), 700, 500, 200, 150, 0, 0, 0)
            self.x11.XMapWindow(self.display, self.other_window)
            self.x11.XSync(self.display, 0)
        return self.other_window

    def focus(self, window):
        self.x11.XSetInputFocus(self.display, int(window), 2, 0)  # RevertToParent, CurrentTime
        self.x11.XSync(self.display, 0)

    def grab_keyboard(self):
        """The whole keyboard to the other window, as a desktop's hot key takes it."""
        grab_mode_async = 1
        self.x11.XGrabKeyboard(self.display, self.show_other_window(), 0, grab_mode_async,
                               grab_mode_async, 0)
        self.x11.XSync(self.display, 0)

    def ungrab_keyboard(self):
        self.x11.XUngrabKeyboard(self.display, 0)
        self.x11.XSync(self.display, 0)

    def close(self):
        if self.other_window is not None:
            self.x11.XDestroyWindow(self.display, self.other_window)
        self.x11.XCloseDisplay(self.display)
