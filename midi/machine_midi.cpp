#include "machine_midi.h"

#include <utility>
#include <vector>

#include "builtin_synth.h"
#include "combined_midi_system.h"
#include "files.h"

#ifdef _WIN32
#include "winmm_midi_system.h"
#else
#include "rtmidi_system.h"
#endif

std::unique_ptr<MidiSystem> CreateMachineMidiSystem() {
#ifdef _WIN32
  std::unique_ptr<MidiSystem> machine = CreateWinMmMidiSystem();
#else
  std::unique_ptr<MidiSystem> machine = CreateRtMidiSystem(true);
#endif
  BuiltinSynthOptions synthOptions;
  synthOptions.SoundFontFolder = ProgramFolder() + "SOUNDFONTS";

  std::vector<std::unique_ptr<MidiSystem>> members;
  members.push_back(CreateBuiltinSynthSystem(std::move(synthOptions)));
  members.push_back(std::move(machine));
  return std::make_unique<CombinedMidiSystem>(std::move(members));
}
