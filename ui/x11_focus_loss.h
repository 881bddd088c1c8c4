#pragma once

#include <QAbstractNativeEventFilter>
#include <memory>

class TForm1;

// On X11 the window's loss of the keyboard is taken from the X server's focus event as soon
// as the toolkit reads it: the toolkit itself passes over a loss that is over within a
// fraction of a second (another client's grab, a desktop's hot key), yet the keys released
// meanwhile went elsewhere. Nothing else is done here: the keys are the window's key
// handler's alone. Null elsewhere (Wayland, Windows, the offscreen test platform), where
// the toolkit's focus events tell of every loss.
std::unique_ptr<QAbstractNativeEventFilter> WatchX11FocusLoss(TForm1& window);
