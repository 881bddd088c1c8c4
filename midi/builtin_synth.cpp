#include "builtin_synth.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "files.h"
#include "fluid_library.h"

#ifdef TESSIVAR_HAVE_PIPEWIRE
#include "pipewire_audio.h"
#endif
#ifdef __linux__
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr int kChannels = 16;
// The quantum asked of PipeWire, and FluidSynth's period for PulseAudio and ALSA: 64
// frames (1.3 ms at 48 kHz), the least FluidSynth renders in one go.
constexpr int kPeriodSize = 64;
// PulseAudio's whole buffer is two periods (the server raises it to its own minimum);
// ALSA's three, a margin against a late wake-up of the thread that writes it.
constexpr int kPulsePeriods = 2;
constexpr int kAlsaPeriods = 3;
constexpr double kGain = 0.5;

struct SettingsDeleter {
  void operator()(fluid_settings_t* settings) const { Fluid().delete_fluid_settings(settings); }
};
struct SynthDeleter {
  void operator()(fluid_synth_t* synth) const { Fluid().delete_fluid_synth(synth); }
};
struct DriverDeleter {
  void operator()(fluid_audio_driver_t* driver) const { Fluid().delete_fluid_audio_driver(driver); }
};

// FluidSynth's messages: informational ones are dropped, and while audio drivers are
// being tried (an expected failure on most machines) the rest are held back too.
thread_local bool quietLog = false;

// An audio output's thread that cannot go on (its sound server went away) says so with an
// error and ends. Errors from threads that call the synthesizer on this program's behalf
// are answers to those calls instead.
thread_local bool callsTheSynth = false;
std::atomic<unsigned> audioFailures{0};

void LogToStderr(int level, const char* message, void*) {
  if (quietLog) return;
  if (level <= FLUID_ERR && !callsTheSynth) audioFailures.fetch_add(1, std::memory_order_relaxed);
  std::fprintf(stderr, "fluidsynth: %s%s\n", level <= FLUID_ERR ? "error: " : "", message);
}

void InstallLogFunctions() {
  static std::once_flag once;
  std::call_once(once, [] {
    Fluid().fluid_set_log_function(FLUID_PANIC, &LogToStderr, nullptr);
    Fluid().fluid_set_log_function(FLUID_ERR, &LogToStderr, nullptr);
    Fluid().fluid_set_log_function(FLUID_WARN, &LogToStderr, nullptr);
    Fluid().fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
    Fluid().fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
  });
}

void CollectOption(void* data, const char*, const char* option) {
  static_cast<std::vector<std::string>*>(data)->push_back(option);
}

std::string DriverTitle(const std::string& driver) {
  if (driver == "pipewire") return "PipeWire";
  if (driver == "pulseaudio") return "PulseAudio";
  if (driver == "alsa") return "ALSA";
  if (driver == "jack") return "JACK";
  return driver;
}

#ifdef TESSIVAR_HAVE_PIPEWIRE
// In PipeWire's data thread: FluidSynth renders without its API lock (the note messages reach
// the voices through its own lock-free queue), straight into the stream's buffer.
void RenderSynth(void* synth, float* interleaved, int frames) {
  Fluid().fluid_synth_write_float(static_cast<fluid_synth_t*>(synth), frames, interleaved, 0, 2,
                                  interleaved, 1, 2);
}
#endif

// A JACK server of its own (jackd, not PipeWire's JACK library) is running: its socket lies
// in /dev/shm (jackd2's, or jackd1's folder). A socket left by a server that died only
// costs a failed try.
bool JackServerRuns() {
#ifdef __linux__
  const char* server = std::getenv("JACK_DEFAULT_SERVER");
  const std::string name = server != nullptr && *server != '\0' ? server : "default";
  const std::string uid = std::to_string(getuid());
  for (const std::string& path : {"/dev/shm/jack_" + name + "_" + uid + "_0",
                                  "/dev/shm/jack-" + uid + "/" + name + "/jack_0"}) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) return true;
  }
#endif
  return false;
}

// The drivers in the order tried: a running JACK server's first, as the synthesizer then
// renders in JACK's own cycle; then as given (PipeWire's own stream before its pulse server).
std::vector<std::string> DriversInOrder(std::vector<std::string> drivers) {
  const auto jack = std::find(drivers.begin(), drivers.end(), "jack");
  if (jack != drivers.end() && JackServerRuns()) std::rotate(drivers.begin(), jack, jack + 1);
  return drivers;
}

std::string JoinTitles(const std::vector<std::string>& drivers) {
  std::string joined;
  for (const std::string& driver : drivers) {
    if (!joined.empty()) joined += ", ";
    joined += DriverTitle(driver);
  }
  return joined;
}

}  // namespace

std::vector<std::string> DefaultSystemSoundFonts() {
  return {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
          "/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/soundfonts/default.sf2",
          "/usr/share/soundfonts/FluidR3_GM.sf2"};
}

std::vector<std::string> DefaultAudioDrivers() {
#ifdef _WIN32
  return {"wasapi", "dsound", "waveout"};
#else
  return {"pipewire", "pulseaudio", "alsa", "jack"};
#endif
}

struct BuiltinSynthSystem::Engine {
  std::unique_ptr<fluid_settings_t, SettingsDeleter> Settings;
  std::unique_ptr<fluid_synth_t, SynthDeleter> Synth;
#ifdef TESSIVAR_HAVE_PIPEWIRE
  std::unique_ptr<PipeWireAudio> PipeWire;  // the synthesizer's own stream, in place of Driver
#endif
  bool HasAudio() const {
#ifdef TESSIVAR_HAVE_PIPEWIRE
    if (PipeWire) return true;
#endif
    return Driver != nullptr;
  }
  // The output plays on: its server is still there.
  bool AudioPlays(unsigned failuresSeen) const {
#ifdef TESSIVAR_HAVE_PIPEWIRE
    if (PipeWire) return !PipeWire->Lost();
#endif
    return Driver && audioFailures.load(std::memory_order_relaxed) == failuresSeen;
  }
  void EndAudio() {
#ifdef TESSIVAR_HAVE_PIPEWIRE
    PipeWire.reset();
#endif
    Driver.reset();
  }
  std::unique_ptr<fluid_audio_driver_t, DriverDeleter> Driver;  // declared last: stops first
};

BuiltinSynthSystem::BuiltinSynthSystem(BuiltinSynthOptions options)
    : options_(std::move(options)) {}

BuiltinSynthSystem::~BuiltinSynthSystem() {
  if (preparing_.valid()) preparing_.wait();
}

void BuiltinSynthSystem::LetGoOfJackAudio() {
  // While a preparation runs (a font loading), the engine has no audio output of its own.
  if (preparing_.valid() &&
      preparing_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    return;
  }
  if (engine_ && engine_->Driver && audioDriver_ == "jack") engine_->Driver.reset();
}

Link BuiltinSynthSystem::Reach() {
  if (open_) return Link::Kept;
  Prepare();
  FinishPreparing();
  open_ = true;
  return Link::Made;
}

void BuiltinSynthSystem::Send(const MidiEvent& event) {
  callsTheSynth = true;
  fluid_synth_t* synth = engine_->Synth.get();
  const int status = event.Bytes[0];
  const int data1 = event.Bytes[1] & 0x7F;
  const int data2 = event.Bytes[2] & 0x7F;
  const int channel = status & 0x0F;
  // A note-off for a note that is not sounding is no error for a synthesizer.
  switch (status & 0xF0) {
    case 0x80:
    case 0x90:
      if ((status & 0xF0) == 0x90 && data2 != 0) {
        Fluid().fluid_synth_noteon(synth, channel, data1, data2);
      } else {
        Fluid().fluid_synth_noteoff(synth, channel, data1);
      }
      break;
    case 0xA0:
      Fluid().fluid_synth_key_pressure(synth, channel, data1, data2);
      break;
    case 0xB0:
      Fluid().fluid_synth_cc(synth, channel, data1, data2);
      break;
    case 0xC0:
      Fluid().fluid_synth_program_change(synth, channel, data1);
      break;
    case 0xD0:
      Fluid().fluid_synth_channel_pressure(synth, channel, data1);
      break;
    case 0xE0:
      Fluid().fluid_synth_pitch_bend(synth, channel, data1 | (data2 << 7));
      break;
    default:
      break;  // system messages mean nothing to the synthesizer
  }
  KeepAudioGoing();
}

void BuiltinSynthSystem::KeepAudioGoing() {
  // A JACK output is made again at the next open, after the JACK back end let go of the
  // server that went away (LetGoOfJackAudio).
  if (options_.RenderOnly || audioDriver_ == "jack") return;
  // While the device is open, a preparation under way is this restart (the open took the
  // one before it).
  if (preparing_.valid()) {
    if (preparing_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    try {
      preparing_.get();
      audioFailureReported_ = false;
    } catch (const AppError&) {
      if (!audioFailureReported_) {
        audioFailureReported_ = true;
        throw;
      }
    }
  }
  if (engine_->AudioPlays(audioFailuresSeen_)) return;
  // The same output again, on its server come back: the voices started meanwhile sound once
  // it plays. The name is read here, so that only a preparation the GUI thread waits for
  // writes it.
  preparing_ = std::async(std::launch::async, [this, driver = audioDriver_] {
    callsTheSynth = true;
    engine_->EndAudio();
    if (!OpenAudio(driver)) {
      throw AppError("The built-in synthesizer's audio output (" + DriverTitle(driver) +
                     ") could not be opened again");
    }
  });
}

void BuiltinSynthSystem::Close() {
  if (!open_) return;
  fluid_synth_t* synth = engine_->Synth.get();
  for (int channel = 0; channel < kChannels; ++channel) {
    Fluid().fluid_synth_cc(synth, channel, 123, 0);  // all notes off
    Fluid().fluid_synth_cc(synth, channel, 120, 0);  // all sound off
  }
  Fluid().fluid_synth_all_sounds_off(synth, -1);
  open_ = false;
}

void BuiltinSynthSystem::Prepare() {
  if (open_ || preparing_.valid()) return;
  if (engine_ && (options_.RenderOnly || engine_->HasAudio())) return;
#ifndef _WIN32
  // A JACK audio output uses a server that runs; none is started for the synthesizer.
  // Set here, before the other thread starts (the program sets it at entry already, and
  // then this changes nothing).
  setenv("JACK_NO_START_SERVER", "1", 0);
#endif
  preparing_ = std::async(std::launch::async, [this] { Start(); });
}

void BuiltinSynthSystem::FinishPreparing() {
  if (preparing_.valid()) preparing_.get();
}

bool BuiltinSynthSystem::Render(float* left, float* right, int frames) {
  if (preparing_.valid()) return false;
  if (!engine_ || !engine_->Synth || engine_->HasAudio() || !options_.RenderOnly) return false;
  return Fluid().fluid_synth_write_float(engine_->Synth.get(), frames, left, 0, 1, right, 0, 1) ==
         FLUID_OK;
}

bool BuiltinSynthSystem::EngineRunning() const {
  return !preparing_.valid() && engine_ && engine_->Synth;
}

void BuiltinSynthSystem::Start() {
  callsTheSynth = true;
  if (engine_ && engine_->Synth) return StartAudio();  // the font is in; only audio may lack
  std::string libraryError;
  if (LoadFluidLibrary(libraryError) == nullptr) throw AppError(libraryError);
  InstallLogFunctions();

  const std::string soundFont = FindSoundFont();
  if (soundFont.empty()) {
    throw AppError(
        "No General MIDI sound font found: put a .sf2 file into the SOUNDFONTS folder "
        "or install the package timgm6mb-soundfont");
  }

  auto engine = std::make_unique<Engine>();
  engine->Settings.reset(Fluid().new_fluid_settings());
  if (!engine->Settings) throw AppError("The synthesizer could not be set up.");
  fluid_settings_t* settings = engine->Settings.get();
  Fluid().fluid_settings_setnum(settings, "synth.sample-rate", options_.SampleRate);
  Fluid().fluid_settings_setnum(settings, "synth.gain", kGain);
  // Dry sound: the effects would ring on after the notes are silenced.
  Fluid().fluid_settings_setint(settings, "synth.reverb.active", 0);
  Fluid().fluid_settings_setint(settings, "synth.chorus.active", 0);
  Fluid().fluid_settings_setint(settings, "audio.jack.autoconnect", 1);
  Fluid().fluid_settings_setstr(settings, "audio.jack.id", "Tessivar synthesizer");

  engine->Synth.reset(Fluid().new_fluid_synth(settings));
  if (!engine->Synth) throw AppError("The synthesizer could not be started.");
  ++soundFontLoads_;
  if (Fluid().fluid_synth_sfload(engine->Synth.get(), soundFont.c_str(), 1) == FLUID_FAILED) {
    throw AppError("The sound font " + soundFont + " could not be loaded.");
  }
  soundFont_ = soundFont;
  soundFontLoader_ = std::this_thread::get_id();
  engine_ = std::move(engine);
  StartAudio();
}

void BuiltinSynthSystem::StartAudio() {
  if (options_.RenderOnly || engine_->HasAudio()) return;
  std::vector<std::string> tried;
  for (const std::string& driver : DriversInOrder(options_.AudioDrivers)) {
    if (!OpenAudio(driver)) {
      if (std::find(tried.begin(), tried.end(), driver) == tried.end()) tried.push_back(driver);
      continue;
    }
    audioDriver_ = driver;
    return;
  }
  throw AppError("No audio output could be opened for the built-in synthesizer (tried " +
                 JoinTitles(tried.empty() ? options_.AudioDrivers : tried) + ")");
}

bool BuiltinSynthSystem::OpenAudio(const std::string& driver) {
#ifdef TESSIVAR_HAVE_PIPEWIRE
  // FluidSynth's own PipeWire driver (where it has one) keeps a buffer of its own: the
  // synthesizer renders in PipeWire's cycle instead.
  if (driver == "pipewire") {
    std::string error;
    const PipeWireAudioOptions options{"Tessivar", "Tessivar synthesizer",
                                       static_cast<int>(options_.SampleRate), kPeriodSize};
    engine_->PipeWire = PipeWireAudio::Open(options, &RenderSynth, engine_->Synth.get(), error);
    return engine_->PipeWire != nullptr;
  }
#endif
  fluid_settings_t* settings = engine_->Settings.get();
  std::vector<std::string> available;
  Fluid().fluid_settings_foreach_option(settings, "audio.driver", &available, &CollectOption);
  if (std::find(available.begin(), available.end(), driver) == available.end()) return false;
  Fluid().fluid_settings_setstr(settings, "audio.driver", driver.c_str());
  Fluid().fluid_settings_setint(settings, "audio.period-size", kPeriodSize);
  Fluid().fluid_settings_setint(settings, "audio.periods",
                                driver == "alsa" ? kAlsaPeriods : kPulsePeriods);
  quietLog = true;
  engine_->Driver.reset(Fluid().new_fluid_audio_driver(settings, engine_->Synth.get()));
  quietLog = false;
  if (!engine_->Driver) return false;
  audioFailuresSeen_ = audioFailures.load(std::memory_order_relaxed);
  return true;
}

std::string BuiltinSynthSystem::FindSoundFont() const {
  if (!options_.SoundFontFolder.empty()) {
    std::string folder = options_.SoundFontFolder;
    if (folder.back() != PathSeparator && folder.back() != '/') folder += PathSeparator;
    const std::vector<std::string> names = FindFiles(folder + "*.sf2");
    if (!names.empty()) return folder + names.front();
  }
  for (const std::string& path : options_.SystemSoundFonts) {
    if (FileExists(path)) return path;
  }
  return {};
}

std::unique_ptr<BuiltinSynthSystem> CreateBuiltinSynthSystem(BuiltinSynthOptions options) {
  return std::make_unique<BuiltinSynthSystem>(std::move(options));
}
