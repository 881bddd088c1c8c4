#pragma once

class QGuiApplication;

// On X11 a held key normally arrives as release/press pairs, and Qt cannot always tell
// such a pair from a real release: a held note would stutter. Asking the X server for
// detectable auto-repeat makes a held key arrive as repeated presses and one release.
// Does nothing on other platforms.
void UseDetectableAutoRepeat(QGuiApplication& application);
