#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "midi_system.h"

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
// Nothing is loaded until the device is first opened; that opening starts the engine and
// loads the sound font. Closing silences every channel at once but keeps the engine and
// the font, so that reopening is immediate. The engine stops when the system is destroyed.
class BuiltinSynthSystem final : public MidiSystem {
 public:
  explicit BuiltinSynthSystem(BuiltinSynthOptions options);
  ~BuiltinSynthSystem() override;
  BuiltinSynthSystem(const BuiltinSynthSystem&) = delete;
  BuiltinSynthSystem& operator=(const BuiltinSynthSystem&) = delete;

  std::uint32_t DeviceCount() override;
  MidiResult DeviceName(std::uint32_t id, std::string& name) override;
  MidiResult Open(std::uint32_t id, MidiHandle& handle) override;
  MidiResult ShortMessage(MidiHandle handle, std::uint32_t message) override;
  MidiResult Close(MidiHandle handle) override;
  MidiResult ErrorText(MidiResult code, std::string& text) override;

  // Render-only engines: the next frames of stereo audio. False while no engine runs
  // or when an audio driver is playing it.
  bool Render(float* left, float* right, int frames);
  // How often a sound font was loaded; the sound font in use (empty before the first open).
  int SoundFontLoads() const { return soundFontLoads_; }
  const std::string& SoundFont() const { return soundFont_; }
  bool EngineRunning() const;
  // The name of the audio driver playing the engine; empty when rendering only.
  const std::string& AudioDriver() const { return audioDriver_; }

 private:
  struct Engine;

  MidiResult Start();
  MidiResult StartAudio();
  MidiResult Fail(MidiResult code, std::string text);
  std::string FindSoundFont() const;

  BuiltinSynthOptions options_;
  std::unique_ptr<Engine> engine_;
  bool open_ = false;
  int soundFontLoads_ = 0;
  std::string soundFont_;
  std::string audioDriver_;
  std::map<MidiResult, std::string> texts_;  // the last text per failure code
};

std::unique_ptr<BuiltinSynthSystem> CreateBuiltinSynthSystem(BuiltinSynthOptions options);
