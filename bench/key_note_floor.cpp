// The least program that turns an X key press into a JACK MIDI note: a window, and a
// note-on (note-off) on its JACK port "Floor:out" for every key press (release), Space
// ending the notes held. The key latency benchmark measures it next to Tessivar as the
// floor.

#include "floor_notes.h"
#include "floor_window.h"

int main() {
  jack_client_t* client = jack_client_open("Floor", JackNoStartServer, nullptr);
  Display* display = XOpenDisplay(nullptr);
  if (client == nullptr || display == nullptr) return 1;
  floor_notes::Start(client);

  OpenFloorWindow(display, "Floor");
  for (XEvent event;;) {
    XNextEvent(display, &event);
    if (event.type != KeyPress && event.type != KeyRelease) continue;
    floor_notes::Key(event.type == KeyPress, event.xkey.keycode);
  }
}
