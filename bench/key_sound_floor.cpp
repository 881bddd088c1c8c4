// The least program that turns an X key press into sound: a window, and a square wave on
// its JACK port "SoundFloor:out" from the audio cycle after a key press until its release.
// The synthesizer's key-to-sound benchmark measures it next to Tessivar as the floor.
//
// Usage: key_sound_floor [PORT]   (PORT: where to connect the output, e.g. a sink's input)
#include <jack/jack.h>

#include <atomic>

#include "floor_window.h"

namespace {

jack_port_t* output = nullptr;
std::atomic<bool> sounding{false};
jack_nframes_t phase = 0;

int Process(jack_nframes_t frames, void*) {
  auto* out = static_cast<float*>(jack_port_get_buffer(output, frames));
  const bool on = sounding.load(std::memory_order_relaxed);
  for (jack_nframes_t i = 0; i < frames; ++i, ++phase) {
    out[i] = on ? ((phase / 55) % 2 == 0 ? 0.25f : -0.25f) : 0.0f;  // about 440 Hz at 48 kHz
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  jack_client_t* client = jack_client_open("SoundFloor", JackNoStartServer, nullptr);
  Display* display = XOpenDisplay(nullptr);
  if (client == nullptr || display == nullptr) return 1;
  output = jack_port_register(client, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  jack_set_process_callback(client, &Process, nullptr);
  if (jack_activate(client) != 0) return 1;
  if (argc > 1 && jack_connect(client, jack_port_name(output), argv[1]) != 0) return 3;

  OpenFloorWindow(display, "Sound floor");
  for (XEvent event;;) {
    XNextEvent(display, &event);
    if (event.type == KeyPress || event.type == KeyRelease) sounding = event.type == KeyPress;
  }
}
