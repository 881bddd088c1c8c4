#pragma once

#include <QAbstractNativeEventFilter>
#include <memory>

class TForm1;

// On X11 the window's keys are played from the X server's key events as the toolkit reads
// them, in the server's order, and its loss of the keyboard from the server's focus events:
// a note leaves about 0.15 ms sooner than through the toolkit's own key event, and a loss
// that is over within a fraction of a second (another client's grab, a desktop's hot key),
// which the toolkit passes over, still ends the held notes. The toolkit then goes on with
// every event (menus, F10, Alt+F4), but its key event plays nothing.
//
// Null elsewhere (Wayland, Windows, the offscreen test platform) and on an X server that
// sends held keys as release/press pairs: the window's key event plays the keys there.
std::unique_ptr<QAbstractNativeEventFilter> PlayX11Keys(TForm1& window);
