// The least program that turns an X key press into a JACK MIDI note: a window, and a
// note-on (note-off) on its JACK port "Floor:out" for every key press (release). The key
// latency benchmark measures it next to Tessivar as the floor.
#include <X11/Xlib.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <array>
#include <atomic>
#include <cstdint>

namespace {

jack_port_t* port = nullptr;
std::array<std::array<std::uint8_t, 3>, 256> queue{};
std::atomic<std::uint32_t> written{0}, taken{0};

int Process(jack_nframes_t frames, void*) {
  void* buffer = jack_port_get_buffer(port, frames);
  jack_midi_clear_buffer(buffer);
  const std::uint32_t until = written.load(std::memory_order_acquire);
  std::uint32_t next = taken.load(std::memory_order_relaxed);
  for (; next != until; ++next) jack_midi_event_write(buffer, 0, queue[next % 256].data(), 3);
  taken.store(next, std::memory_order_release);
  return 0;
}

}  // namespace

int main() {
  jack_client_t* client = jack_client_open("Floor", JackNoStartServer, nullptr);
  Display* display = XOpenDisplay(nullptr);
  if (client == nullptr || display == nullptr) return 1;
  port = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  jack_set_process_callback(client, &Process, nullptr);
  jack_activate(client);

  const Window window =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 100, 0, 0, 0);
  XStoreName(display, window, "Floor");
  XSelectInput(display, window, KeyPressMask | KeyReleaseMask);
  XMapRaised(display, window);
  XSync(display, False);
  for (XEvent event;;) {
    XNextEvent(display, &event);
    if (event.type != KeyPress && event.type != KeyRelease) continue;
    const auto note = static_cast<std::uint8_t>(event.xkey.keycode % 128);
    const std::uint32_t slot = written.load(std::memory_order_relaxed);
    queue[slot % 256] = {static_cast<std::uint8_t>(event.type == KeyPress ? 0x90 : 0x80), note,
                         100};
    written.store(slot + 1, std::memory_order_release);
  }
}
