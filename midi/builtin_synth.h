#pragma once

#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midi_port.h"

inline constexpr char kBuiltinSynthName[] = "Built-in synthesizer";

// The system's General MIDI sound fonts, in the order they are tried.
std::vector<std::string> DefaultSystemSoundFonts();
// FluidSynth audio drivers, in the order they are tried: the desktop's usual one first.
std::vector<std::string> DefaultAudioDrivers();

struct BuiltinSynthOptions {
  // Searched first: its first *.sf2 file (names compared without regard to case).
  std::string SoundFontFolder;
  // Tried next, in order, when the folder holds none.
  std::vector<std::string> SystemSoundFonts = DefaultSystemSoundFonts();
  std::vector<std::string> AudioDrivers = DefaultAudioDrivers();
  // No audio output at all: the audio is fetched with Render (tests, offline use).
  bool RenderOnly = false;
  double SampleRate = 48000.0;
};

// One output device, "Built-in synthesizer": FluidSynth playing a General MIDI sound font.
// Nothing is loaded until the device is prepared (a configuration selects it) or first
// opened. The engine, the sound font and the audio output are then made ready on a thread
// of their own; an open that comes before they are ready waits for them, so the thread
// that plays never loads a font itself. Closing silences every channel at once but keeps
// the engine and the font, so that reopening is immediate. The engine stops when the
// synthesizer is destroyed. A JACK audio output whose server went away is ended when the
// program reaches for the server again (LetGoOfJackAudio), and made again at the next open.
// The back end and its one port at once: the port is open from its first Reach to Close.
class BuiltinSynthSystem final : public MidiBackEnd, public MidiPort {
 public:
  explicit BuiltinSynthSystem(BuiltinSynthOptions options);
  ~BuiltinSynthSystem() override;
  BuiltinSynthSystem(const BuiltinSynthSystem&) = delete;
  BuiltinSynthSystem& operator=(const BuiltinSynthSystem&) = delete;

  std::vector<std::string> PortNames() override { return {kBuiltinSynthName}; }
  MidiPort& MakePort(std::size_t, const std::string&) override { return *this; }
  // Opens the port: waits for the engine being made ready, or makes it ready off the
  // calling thread and waits for it; raises what kept it from being ready.
  Link Reach() override;
  // Plays the message; raises once when an audio output made again failed.
  void Send(const MidiEvent& event) override;
  // Silences every channel at once.
  void Close() override;
  // Starts making the engine ready off the calling thread, unless it is ready or open.
  void Prepare() override;
  // Ends a JACK audio output whose server went away; the next preparation makes another.
  // Never waits: an audio output being made meanwhile is made for the server there is then.
  void LetGoOfJackAudio();

  // Render-only engines: the next frames of stereo audio. False while no engine runs
  // or when an audio driver is playing it.
  bool Render(float* left, float* right, int frames);
  // The figures below are read while the device is open or after a failed open.
  // How often a sound font was loaded; the sound font in use (empty before the first open);
  // the thread that loaded it.
  int SoundFontLoads() const { return soundFontLoads_; }
  const std::string& SoundFont() const { return soundFont_; }
  std::thread::id SoundFontLoader() const { return soundFontLoader_; }
  bool EngineRunning() const;
  // The name of the audio driver playing the engine; empty when rendering only.
  const std::string& AudioDriver() const { return audioDriver_; }

 private:
  struct Engine;

  // Waits for the preparation under way, if any; raises what made it fail.
  void FinishPreparing();
  void Start();
  // Opens the first audio output that works, in the order DefaultAudioDrivers gives, a
  // running JACK server's first; the only place that names the driver in use.
  void StartAudio();
  // Opens one audio output for the engine.
  bool OpenAudio(const std::string& driver);
  // An audio output that broke (its sound server went away) is made again off this thread,
  // at the next message; a failure of that is raised, once.
  void KeepAudioGoing();
  std::string FindSoundFont() const;

  BuiltinSynthOptions options_;
  std::unique_ptr<Engine> engine_;
  bool open_ = false;
  int soundFontLoads_ = 0;
  std::string soundFont_;
  std::thread::id soundFontLoader_;
  // Written only by a preparation the GUI thread waits for (never by a remade output).
  std::string audioDriver_;
  unsigned audioFailuresSeen_ = 0;  // of AudioFailures(), when the audio output was made
  bool audioFailureReported_ = false;
  // Declared last: the preparation ends before anything it fills goes.
  std::future<void> preparing_;
};

std::unique_ptr<BuiltinSynthSystem> CreateBuiltinSynthSystem(BuiltinSynthOptions options);
