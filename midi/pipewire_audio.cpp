#include "pipewire_audio.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/utils/result.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "shared_library.h"

namespace {

// The libpipewire functions used here, looked up once in the library loaded at run time.
#define TESSIVAR_PIPEWIRE_FUNCTIONS(X) \
  X(pw_init)                           \
  X(pw_properties_new)                 \
  X(pw_thread_loop_new)                \
  X(pw_thread_loop_destroy)            \
  X(pw_thread_loop_start)              \
  X(pw_thread_loop_stop)               \
  X(pw_thread_loop_lock)               \
  X(pw_thread_loop_unlock)             \
  X(pw_thread_loop_get_loop)           \
  X(pw_thread_loop_signal)             \
  X(pw_thread_loop_timed_wait)         \
  X(pw_stream_new_simple)              \
  X(pw_stream_destroy)                 \
  X(pw_stream_connect)                 \
  X(pw_stream_dequeue_buffer)          \
  X(pw_stream_queue_buffer)

struct PipeWireLibrary {
#define TESSIVAR_PIPEWIRE_POINTER(name) decltype(&::name) name = nullptr;
  TESSIVAR_PIPEWIRE_FUNCTIONS(TESSIVAR_PIPEWIRE_POINTER)
#undef TESSIVAR_PIPEWIRE_POINTER
};

PipeWireLibrary pw;
std::string loadError;

bool LoadPipeWire() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::string reason;
    void* handle = LoadSharedLibrary({"libpipewire-0.3.so.0", "libpipewire-0.3.so"}, reason);
    if (handle == nullptr) {
      loadError = "PipeWire's library could not be loaded: " + reason;
      return;
    }
#define TESSIVAR_PIPEWIRE_LOOKUP(name) \
  TESSIVAR_LOOK_UP_FUNCTION(pw, handle, loadError, "PipeWire's library", name)
    TESSIVAR_PIPEWIRE_FUNCTIONS(TESSIVAR_PIPEWIRE_LOOKUP)
#undef TESSIVAR_PIPEWIRE_LOOKUP
    pw.pw_init(nullptr, nullptr);
  });
  return loadError.empty() && pw.pw_init != nullptr;
}

constexpr int kChannels = 2;
constexpr std::uint32_t kStride = kChannels * sizeof(float);
// How long an open waits for the server to take the stream.
constexpr int kOpenSeconds = 3;
constexpr int kLinkSeconds = 1;

// Locks the stream's thread loop for the scope.
class LoopLock {
 public:
  explicit LoopLock(pw_thread_loop* loop) : loop_(loop) { pw.pw_thread_loop_lock(loop_); }
  ~LoopLock() { pw.pw_thread_loop_unlock(loop_); }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  pw_thread_loop* loop_;
};

}  // namespace

struct PipeWireAudio::Callbacks {
  // In the data thread (RT_PROCESS): one buffer rendered straight into the graph's memory.
  static void Process(void* data) {
    auto* self = static_cast<PipeWireAudio*>(data);
    pw_buffer* buffer = pw.pw_stream_dequeue_buffer(self->stream_);
    if (buffer == nullptr) return;
    spa_data& out = buffer->buffer->datas[0];
    std::uint32_t frames = 0;
    if (out.data != nullptr) {
      frames = out.maxsize / kStride;
      if (buffer->requested != 0) frames = std::min<std::uint32_t>(frames, buffer->requested);
      self->render_(self->context_, static_cast<float*>(out.data), static_cast<int>(frames));
    }
    out.chunk->offset = 0;
    out.chunk->stride = kStride;
    out.chunk->size = frames * kStride;
    pw.pw_stream_queue_buffer(self->stream_, buffer);
  }

  // On the loop's thread.
  static void StateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
    auto* self = static_cast<PipeWireAudio*>(data);
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
      if (error != nullptr) self->failure_ = error;
      self->lost_.store(true, std::memory_order_release);
    }
    self->state_.store(state, std::memory_order_release);
    pw.pw_thread_loop_signal(self->loop_, false);
  }
};

std::unique_ptr<PipeWireAudio> PipeWireAudio::Open(const PipeWireAudioOptions& options,
                                                   RenderAudio render, void* context,
                                                   std::string& error) {
  if (!LoadPipeWire()) {
    error = loadError;
    return nullptr;
  }
  static const pw_stream_events events = [] {
    pw_stream_events e{};
    e.version = PW_VERSION_STREAM_EVENTS;
    e.state_changed = &Callbacks::StateChanged;
    e.process = &Callbacks::Process;
    return e;
  }();

  std::unique_ptr<PipeWireAudio> audio(new PipeWireAudio(render, context));
  audio->loop_ = pw.pw_thread_loop_new(options.NodeName.c_str(), nullptr);
  if (audio->loop_ == nullptr || pw.pw_thread_loop_start(audio->loop_) < 0) {
    error = "PipeWire's thread could not be started";
    return nullptr;
  }
  const std::string latency = std::to_string(options.Frames) + "/" + std::to_string(options.Rate);
  const LoopLock lock(audio->loop_);
  pw_properties* properties =
      pw.pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                           PW_KEY_MEDIA_ROLE, "Music", PW_KEY_APP_NAME, options.AppName.c_str(),
                           PW_KEY_NODE_NAME, options.NodeName.c_str(), PW_KEY_NODE_DESCRIPTION,
                           options.NodeName.c_str(), PW_KEY_NODE_LATENCY, latency.c_str(), nullptr);
  audio->stream_ =
      pw.pw_stream_new_simple(pw.pw_thread_loop_get_loop(audio->loop_), options.NodeName.c_str(),
                              properties, &events, audio.get());
  if (audio->stream_ == nullptr) {
    error = "PipeWire's stream could not be made";
    return nullptr;
  }

  std::uint8_t formatMemory[512];
  spa_pod_builder builder{};
  spa_pod_builder_init(&builder, formatMemory, sizeof(formatMemory));
  spa_audio_info_raw format{};
  format.format = SPA_AUDIO_FORMAT_F32;
  format.rate = static_cast<std::uint32_t>(options.Rate);
  format.channels = kChannels;
  format.position[0] = SPA_AUDIO_CHANNEL_FL;
  format.position[1] = SPA_AUDIO_CHANNEL_FR;
  const spa_pod* params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format)};
  const auto flags = static_cast<pw_stream_flags>(
      PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
  if (const int result =
          pw.pw_stream_connect(audio->stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params, 1);
      result < 0) {
    error = std::string("No PipeWire server answered: ") + spa_strerror(result);
    return nullptr;
  }
  // The server has taken the stream once it is paused (linked to the sink or not yet).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kOpenSeconds);
  while (audio->state_.load() < PW_STREAM_STATE_PAUSED && !audio->Lost() &&
         std::chrono::steady_clock::now() < deadline) {
    pw.pw_thread_loop_timed_wait(audio->loop_, 1);
  }
  if (audio->state_.load() < PW_STREAM_STATE_PAUSED || audio->Lost()) {
    error = "PipeWire did not take the stream" +
            (audio->failure_.empty() ? "" : ": " + audio->failure_);
    return nullptr;
  }
  // Linked and playing within a moment where a session manager links it: the graph has
  // settled before anyone else (the program's JACK client) joins it. Without one it stays
  // paused until linked.
  const auto linkDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(kLinkSeconds);
  while (audio->state_.load() == PW_STREAM_STATE_PAUSED &&
         std::chrono::steady_clock::now() < linkDeadline) {
    pw.pw_thread_loop_timed_wait(audio->loop_, 1);
  }
  return audio;
}

PipeWireAudio::~PipeWireAudio() {
  if (loop_ == nullptr) return;
  // The loop's thread ends first: no event comes while the stream goes.
  pw.pw_thread_loop_stop(loop_);
  if (stream_ != nullptr) pw.pw_stream_destroy(stream_);
  pw.pw_thread_loop_destroy(loop_);
}
