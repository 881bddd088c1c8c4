#include "machine_midi.h"

#include <utility>

#include "builtin_synth.h"
#include "files.h"

#ifdef _WIN32
#include "winmm_back_end.h"
#else
#include "jack_back_end.h"
#include "rtmidi_back_end.h"
#endif

std::unique_ptr<MidiBackEnd> CreateSystemMidiBackEnd(
    [[maybe_unused]] bool withVirtualPort, [[maybe_unused]] std::function<void()> jackServerLost) {
#ifdef _WIN32
  return CreateWinMmBackEnd();
#else
  if (auto alsa = CreateRtMidiBackEnd(withVirtualPort)) return alsa;
  // RtMidi's JACK output frees what its process thread reads before it closes its client;
  // JACK is driven through its own library instead.
  return CreateJackBackEnd(withVirtualPort, std::move(jackServerLost));
#endif
}

MidiBackEnds CreateMachineMidiBackEnds() {
  BuiltinSynthOptions synthOptions;
  synthOptions.SoundFontFolder = ProgramFolder() + "SOUNDFONTS";
  auto synth = CreateBuiltinSynthSystem(std::move(synthOptions));
  BuiltinSynthSystem& synthesizer = *synth;
  MidiBackEnds backEnds;
  backEnds.push_back(std::move(synth));
  // The synthesizer's JACK audio output goes with the server, before a new one is reached.
  auto system = CreateSystemMidiBackEnd(true, [&synthesizer] { synthesizer.LetGoOfJackAudio(); });
  if (system) backEnds.push_back(std::move(system));
  return backEnds;
}
