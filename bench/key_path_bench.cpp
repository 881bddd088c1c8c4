// The key path from a key event to the short messages, with an allocation count.
#include <benchmark/benchmark.h>

#include <memory>

#include "allocation_counter.h"
#include "key_map.h"
#include "keyboard_config.h"
#include "midi_devices.h"
#include "note_engine.h"

namespace {

// A machine whose ports take every message and keep only a count.
class CountingBackEnd : public MidiBackEnd, public MidiPort {
 public:
  std::vector<std::string> PortNames() override { return {"Counting 1", "Counting 2"}; }
  MidiPort& MakePort(std::size_t, const std::string&) override { return *this; }
  Link Reach() override { return Link::Kept; }
  void Send(const MidiEvent& event) override {
    benchmark::DoNotOptimize(event);
    ++Messages;
  }
  long Messages = 0;
};

void SetUpEngine() {
  MidiBackEnds backEnds;
  backEnds.push_back(std::make_unique<CountingBackEnd>());
  InstallMidiBackEnds(std::move(backEnds));
  SetDefaults();
  Config.RecordingDevice = 0;
  Config.PlayingDevice = 1;
  Config.RecordingInstrument = 0;
  Config.PlayingInstrument = 4;
  // The shipped tracker layout has 37 keys; the last one is the slowest to find.
  KeyMap.clear();
  for (int i = 0; i < 37; ++i)
    KeyMap.push_back({static_cast<std::int16_t>(0x100 + i), static_cast<std::uint8_t>(i % 32)});
  MidiOutput();
}

void BM_KeyDownUp(benchmark::State& state) {
  SetUpEngine();
  const auto key = static_cast<std::uint16_t>(0x100 + state.range(0));
  FormKeyDown(key);
  FormKeyUp(key);
  StartCountingAllocations();
  for (auto _ : state) {
    FormKeyDown(key);
    FormKeyUp(key);
  }
  state.counters["allocations"] = static_cast<double>(StopCountingAllocations());
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_KeyDownUp)->Arg(0)->Arg(36);

void BM_LookupNote(benchmark::State& state) {
  SetUpEngine();
  const auto key = static_cast<std::uint16_t>(0x100 + state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(LookupNote(key));
}
BENCHMARK(BM_LookupNote)->Arg(0)->Arg(36)->Arg(500);

void BM_AllNotesOff(benchmark::State& state) {
  SetUpEngine();
  for (auto _ : state) {
    FormKeyDown(0x100);
    AllNotesOff();
  }
}
BENCHMARK(BM_AllNotesOff);

}  // namespace
