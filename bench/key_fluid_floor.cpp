// The least program that turns an X key press into a FluidSynth note: a window, and
// FluidSynth rendering into its JACK port "FluidFloor:out" in the audio cycle, a note-on
// from the X event loop at a key press (the same thread-safe call the program makes), a
// note-off at its release. Next to the square-wave floor it tells what FluidSynth itself
// costs from what the program adds.
//
// Usage: key_fluid_floor SOUND_FONT PROGRAM
#include <fluidsynth.h>
#include <jack/jack.h>

#include <array>
#include <cstdlib>

#include "floor_window.h"

namespace {

jack_port_t* output = nullptr;
fluid_synth_t* synth = nullptr;
std::array<float, 8192> right{};  // the other channel, not listened to

int Process(jack_nframes_t frames, void*) {
  auto* out = static_cast<float*>(jack_port_get_buffer(output, frames));
  fluid_synth_write_float(synth, static_cast<int>(frames), out, 0, 1, right.data(), 0, 1);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  jack_client_t* client = jack_client_open("FluidFloor", JackNoStartServer, nullptr);
  Display* display = XOpenDisplay(nullptr);
  if (client == nullptr || display == nullptr) return 1;
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", jack_get_sample_rate(client));
  fluid_settings_setnum(settings, "synth.gain", 0.5);
  fluid_settings_setint(settings, "synth.reverb.active", 0);
  fluid_settings_setint(settings, "synth.chorus.active", 0);
  synth = new_fluid_synth(settings);
  if (fluid_synth_sfload(synth, argv[1], 1) == FLUID_FAILED) return 3;
  fluid_synth_program_change(synth, 0, std::atoi(argv[2]));
  output = jack_port_register(client, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  jack_set_process_callback(client, &Process, nullptr);
  if (jack_activate(client) != 0) return 1;

  OpenFloorWindow(display, "Fluid floor");
  for (XEvent event;;) {
    XNextEvent(display, &event);
    if (event.type == KeyPress) fluid_synth_noteon(synth, 0, 60, 100);
    if (event.type == KeyRelease) fluid_synth_noteoff(synth, 0, 60);
  }
}
