#pragma once

class QApplication;
class QKeyEvent;
class TForm1;

// The keys of the main window are read once, by the toolkit, on the GUI thread. On X11 the
// keys the note engine plays (note keys, Space, F1..F9, plain or with Shift) are played as
// soon as the toolkit reads the X server's event, ahead of the toolkit's key event for it,
// which comes a good tenth of a millisecond later on the same thread and then only finds
// it done. Only where that changes nothing but the time: with detectable auto-repeat, a
// device set, while the keys go to the window itself (no menu, box or menu bar has them)
// and once everything read before has been handled. Every other key takes the toolkit's
// way. The window's loss of the keyboard is taken from the X server's event as well, so
// that a grab however short ends the held notes. Elsewhere (Windows, Wayland) the toolkit's
// events do everything.
void StartEarlyKeys(QApplication& application, TForm1& window);
void StopEarlyKeys();

// For the main window's key handler, first: true when the key event is done with. It was
// played ahead (a failure of that playing is shown now); or it is a press from before the
// window lost the keyboard, whose release went elsewhere; or the failure of an earlier key
// played ahead was shown just now: the box came between, so this key plays nothing.
bool DeliverEarlyKey(const QKeyEvent& event);
