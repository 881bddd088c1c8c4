#pragma once

#include <atomic>
#include <memory>
#include <string>

struct pw_thread_loop;
struct pw_stream;

// Fills frames of interleaved stereo audio. It runs in PipeWire's real-time thread: no
// allocation, no file I/O, no lock another thread holds for long.
using RenderAudio = void (*)(void* context, float* interleaved, int frames);

struct PipeWireAudioOptions {
  std::string AppName;   // the desktop's mixer lists the stream under it
  std::string NodeName;  // the node's name and description in the graph
  int Rate = 48000;      // the rate rendered at; PipeWire resamples to the graph's
  int Frames = 64;       // the quantum asked for, in frames at Rate
};

// A playback stream to PipeWire's default sink whose audio comes from a render function
// called in PipeWire's own data thread, once per graph cycle: nothing is buffered between
// the renderer and the graph. libpipewire-0.3 is loaded at the first open, so the program
// runs without it.
class PipeWireAudio {
 public:
  // Connected and accepted by the server, or null with the reason in error.
  static std::unique_ptr<PipeWireAudio> Open(const PipeWireAudioOptions& options,
                                             RenderAudio render, void* context, std::string& error);
  ~PipeWireAudio();
  PipeWireAudio(const PipeWireAudio&) = delete;
  PipeWireAudio& operator=(const PipeWireAudio&) = delete;

  // The server went away (or ended the stream): this output plays no more.
  bool Lost() const { return lost_.load(std::memory_order_acquire); }

 private:
  PipeWireAudio(RenderAudio render, void* context) : render_(render), context_(context) {}
  struct Callbacks;  // PipeWire's events, in the .cpp

  RenderAudio render_;
  void* context_;
  pw_thread_loop* loop_ = nullptr;
  pw_stream* stream_ = nullptr;
  std::atomic<int> state_{0};  // pw_stream_state, for the open that waits for it
  std::atomic<bool> lost_{false};
  std::string failure_;  // written on the loop's thread under its lock
};
