// Measures how long a key pressed on the X server takes to come out of a program as sound:
// it presses the key itself (XTest) into the window that has the focus and records a JACK
// port (a program's output, or a sink's monitor), both on JACK's clock: the delay ends when
// the audio cycle holding the first audible sample reaches the probe (a cycle's nominal
// start frame runs ahead of its work when a loaded machine wakes the cycle late, and
// would then put the sound before the key).
//
// Usage: key_sound_probe SOURCE_PORT KEY ROUNDS
//   ROUNDS times: wait for silence, press KEY, wait for sound, release KEY; prints one
//   latency per line in microseconds (-1 when no sound came).
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

namespace {

constexpr float kAudible = 1e-3f;  // -60 dBFS
jack_client_t* client = nullptr;
jack_port_t* input = nullptr;
std::atomic<bool> armed{false};
std::atomic<bool> heard{false};
std::atomic<jack_time_t> onset{0};
std::atomic<jack_nframes_t> lastSound{0};

int Process(jack_nframes_t frames, void*) {
  const auto* samples = static_cast<const float*>(jack_port_get_buffer(input, frames));
  const jack_nframes_t start = jack_last_frame_time(client);
  for (jack_nframes_t i = 0; i < frames; ++i) {
    if (std::fabs(samples[i]) <= kAudible) continue;
    lastSound = start + i;
    if (armed.exchange(false)) {
      onset = jack_get_time();
      heard = true;
    }
  }
  return 0;
}

void Pause(std::chrono::microseconds length) { std::this_thread::sleep_for(length); }

std::int32_t FramesSince(jack_nframes_t frame) {
  return static_cast<std::int32_t>(jack_frame_time(client) - frame);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  client = jack_client_open("soundprobe", JackNoStartServer, nullptr);
  Display* display = XOpenDisplay(nullptr);
  if (client == nullptr || display == nullptr) return 1;
  input = jack_port_register(client, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  jack_set_process_callback(client, &Process, nullptr);
  if (jack_activate(client) != 0) return 1;
  if (jack_connect(client, argv[1], jack_port_name(input)) != 0) return 3;
  const KeyCode key = XKeysymToKeycode(display, XStringToKeysym(argv[2]));
  const int rounds = std::atoi(argv[3]);
  const auto rate = static_cast<std::int32_t>(jack_get_sample_rate(client));
  std::mt19937 random(7);
  Pause(std::chrono::milliseconds(300));
  for (int round = 0; round < rounds; ++round) {
    // The last note's tail has ended: 150 ms of silence (at most 3 s of waiting).
    for (int wait = 0; wait < 300 && FramesSince(lastSound) < rate * 15 / 100; ++wait) {
      Pause(std::chrono::milliseconds(10));
    }
    // Presses at every point of the audio cycle, not at one the last note set.
    Pause(std::chrono::microseconds(random() % 3000));
    heard = false;
    armed = true;
    const jack_time_t sent = jack_get_time();
    XTestFakeKeyEvent(display, key, True, CurrentTime);
    XFlush(display);
    for (int wait = 0; wait < 2000 && !heard; ++wait) Pause(std::chrono::milliseconds(1));
    armed = false;
    const long long delay = heard ? static_cast<long long>(onset.load() - sent) : -1;
    std::printf("%lld\n", delay);
    Pause(std::chrono::milliseconds(120));
    XTestFakeKeyEvent(display, key, False, CurrentTime);
    XFlush(display);
  }
  std::fflush(stdout);
  jack_deactivate(client);
  jack_client_close(client);
  XCloseDisplay(display);
  return 0;
}
