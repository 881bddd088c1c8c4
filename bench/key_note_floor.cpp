// The least program that turns an X key press into a JACK MIDI note: a window, and a
// note-on (note-off) on its JACK port "Floor:out" for every key press (release), Space
// ending the notes held. The key latency benchmark measures it next to Tessivar as the
// floor.
#include <X11/Xlib.h>

#include "floor_notes.h"

int main() {
  jack_client_t* client = jack_client_open("Floor", JackNoStartServer, nullptr);
  Display* display = XOpenDisplay(nullptr);
  if (client == nullptr || display == nullptr) return 1;
  floor_notes::Start(client);

  const Window window =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 100, 0, 0, 0);
  XStoreName(display, window, "Floor");
  XSelectInput(display, window, KeyPressMask | KeyReleaseMask);
  XMapRaised(display, window);
  XSync(display, False);
  for (XEvent event;;) {
    XNextEvent(display, &event);
    if (event.type != KeyPress && event.type != KeyRelease) continue;
    floor_notes::Key(event.type == KeyPress, event.xkey.keycode);
  }
}
