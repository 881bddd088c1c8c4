#pragma once

class QGuiApplication;

// On X11 a held key normally arrives as release/press pairs, and Qt cannot always tell
// such a pair from a real release: a held note would stutter. Asking the X server for
// detectable auto-repeat makes a held key arrive as repeated presses and one release.
// Does nothing on other platforms. Whether the server agreed is kept for
// DetectableAutoRepeatOn.
void UseDetectableAutoRepeat(QGuiApplication& application);

// Whether the X server sends this program a held key as repeated presses and one release.
// Every release is then a real one, even one Qt calls an auto-repeat: Qt guesses that
// from a press of the same key with the same timestamp following it, which is a key
// released and pressed again within a millisecond (a program playing through XTest, a
// fast player), not a held key.
bool DetectableAutoRepeatOn();
