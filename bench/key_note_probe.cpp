// Measures how long a key pressed on the X server takes to come out of a program as a
// note-on at a JACK port, or as sound at an audio port. It presses keys itself (XTest)
// into the window that has the focus, and times them with JACK's own clock.
//
// Usage:
//   key_note_probe midi SOURCE_PORT KEY ROUNDS [BEFORE_KEY]
//     ROUNDS times: (press and release BEFORE_KEY, pause,) press KEY, wait for the
//     note-on, release KEY; prints one latency per line in microseconds.
//   key_note_probe silence SOURCE_PORT KEY ROUNDS SILENCING_KEY
//     ROUNDS times: press KEY, wait for its note-on, pause, press SILENCING_KEY and wait
//     for a note-off, release both; prints the latency of each note-off.
//   key_note_probe audio SOURCE_PORT KEY DELAY_MS
//     waits DELAY_MS, presses KEY, prints the time until the source port's audio rises
//     above silence; then again for a second press a second later.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <semaphore>
#include <string>
#include <thread>

namespace {

jack_client_t* client = nullptr;
jack_port_t* input = nullptr;
bool audio = false;
// What the next measurement waits for at a MIDI port: a note-on, or a note-off.
std::atomic<bool> wantNoteOff{false};
// The JACK time (microseconds) of the first note-on or sound after armed was set.
std::atomic<bool> armed{false};
std::atomic<jack_time_t> heard{0};
// Wakes the measuring thread when heard is set: a thread polling meanwhile would take
// processor time from the programs being measured on a small machine.
std::binary_semaphore came{0};

int Process(jack_nframes_t frames, void*) {
  if (!armed.load()) return 0;
  void* buffer = jack_port_get_buffer(input, frames);
  // The time the program's output is seen here, in the cycle that carries it.
  const jack_time_t now = jack_get_time();
  if (audio) {
    const auto* samples = static_cast<const float*>(buffer);
    for (jack_nframes_t i = 0; i < frames; ++i) {
      if (std::fabs(samples[i]) > 1e-4f) {
        heard = now;
        armed = false;
        came.release();
        return 0;
      }
    }
    return 0;
  }
  const std::uint32_t count = jack_midi_get_event_count(buffer);
  for (std::uint32_t i = 0; i < count; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, buffer, i) != 0 || event.size < 3) continue;
    const bool noteOn = (event.buffer[0] & 0xF0) == 0x90 && event.buffer[2] != 0;
    const bool noteOff = (event.buffer[0] & 0xF0) == 0x80 || (event.buffer[0] & 0xF0) == 0x90;
    if (wantNoteOff.load() ? noteOff && !noteOn : noteOn) {
      heard = now;
      armed = false;
      came.release();
      return 0;
    }
  }
  return 0;
}

void Tap(Display* display, KeyCode key, bool down) {
  XTestFakeKeyEvent(display, key, down ? True : False, CurrentTime);
  XFlush(display);
}

// Presses key and gives the microseconds until the note or sound came; -1 when none came.
long long Measure(Display* display, KeyCode key) {
  while (came.try_acquire()) {
  }
  heard = 0;
  armed = true;
  const jack_time_t pressed = jack_get_time();
  Tap(display, key, true);
  (void)came.try_acquire_for(std::chrono::seconds(3));
  armed = false;
  const jack_time_t at = heard.load();
  return at == 0 ? -1 : static_cast<long long>(at) - static_cast<long long>(pressed);
}

void Pause(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// A pause of a whole number of milliseconds after a moment the JACK cycle set (the note
// just seen) would press the next key at the same point of the cycle every time, and the
// figures would say more about that point than about the program. A spread of a little
// more than one cycle puts the presses at every point of it.
void PauseSpread(int milliseconds, std::mt19937& random) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds) +
                              std::chrono::microseconds(random() % 1000));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  audio = std::string(argv[1]) == "audio";
  client = jack_client_open("probe", JackNoStartServer, nullptr);
  Display* display = XOpenDisplay(nullptr);
  if (client == nullptr || display == nullptr) return 1;
  input = jack_port_register(client, "in", audio ? JACK_DEFAULT_AUDIO_TYPE : JACK_DEFAULT_MIDI_TYPE,
                             JackPortIsInput, 0);
  jack_set_process_callback(client, &Process, nullptr);
  jack_activate(client);
  if (jack_connect(client, argv[2], jack_port_name(input)) != 0) return 3;
  Pause(100);
  const KeyCode key = XKeysymToKeycode(display, XStringToKeysym(argv[3]));

  if (audio) {
    Pause(std::atoi(argv[4]));
    for (int round = 0; round < 2; ++round) {
      std::printf("%lld\n", Measure(display, key));
      Pause(300);
      Tap(display, key, false);
      Pause(700);
    }
  } else if (std::string(argv[1]) == "silence") {
    if (argc < 6) return 2;
    const KeyCode silencing = XKeysymToKeycode(display, XStringToKeysym(argv[5]));
    const int rounds = std::atoi(argv[4]);
    std::mt19937 random(7);
    for (int round = 0; round < rounds; ++round) {
      wantNoteOff = false;
      const bool started = Measure(display, key) >= 0;
      PauseSpread(40, random);
      wantNoteOff = true;
      std::printf("%lld\n", started ? Measure(display, silencing) : -1);
      Tap(display, silencing, false);
      Tap(display, key, false);
      PauseSpread(40 + round % 7 * 5, random);
    }
  } else {
    const KeyCode before = argc > 5 ? XKeysymToKeycode(display, XStringToKeysym(argv[5])) : 0;
    const int rounds = std::atoi(argv[4]);
    std::mt19937 random(7);
    for (int round = 0; round < rounds; ++round) {
      if (before != 0) {
        Tap(display, before, true);
        Tap(display, before, false);
        PauseSpread(60, random);
      }
      std::printf("%lld\n", Measure(display, key));
      Tap(display, key, false);
      PauseSpread(40 + round % 7 * 5, random);
    }
  }
  std::fflush(stdout);
  jack_deactivate(client);
  jack_client_close(client);
  XCloseDisplay(display);
  return 0;
}
