#pragma once

class QApplication;
class QKeyEvent;
class QWidget;

// The note keys of the main window are played from the X server's key events as soon as
// the program reads them, ahead of the toolkit's own key events for them, which come a
// good tenth of a millisecond later on the same thread; the toolkit's event then draws
// the key and plays nothing again. Only where that changes nothing but the time: on X11
// with detectable auto-repeat, for the keys of the typing area without Ctrl, Alt or the
// logo key, while the keys go to the window itself (no menu, box or other widget has
// them), devices are set and every key or click before has been handled. Every other key
// takes the toolkit's way as before. Elsewhere (Windows, Wayland) nothing changes.
//
// On X11 a thread of its own reads the window's keys as well, on a connection of its own,
// and plays each key first whenever the GUI thread is between two events (the program's
// state lock); whichever of the two sees a key first decides it, in the order above.
void StartEarlyKeys(QApplication& application, QWidget& window);
// Outside any event (the key thread may be waiting for the lock the events hold).
void StopEarlyKeys();
// For the application, after each event it dispatched, under the state lock.
void EarlyKeysAfterEvent();

// For the main window's key handler, first: true when this key event was played ahead;
// its key highlight is drawn now and a failure of the playing is raised here.
bool DeliverEarlyKey(const QKeyEvent& event);
