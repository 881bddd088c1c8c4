// Loading and saving the program's binary files.
#include <benchmark/benchmark.h>

#include "config_file.h"
#include "field_stream.h"
#include "key_map.h"
#include "keyboard_config.h"
#include "temp_program_folder.h"

namespace {

void BM_ConfigRoundTrip(benchmark::State& state) {
  TempProgramFolder folder;
  SetDefaults();
  const std::string path = folder / "CONFIGS/Default.cfg";
  for (auto _ : state) {
    WriteConfigFile(path);
    ReadConfigFile(path);
  }
}
BENCHMARK(BM_ConfigRoundTrip);

void BM_LoadKeyMap(benchmark::State& state) {
  TempProgramFolder folder;
  MemoryBuffer buffer;
  WriteShortString(buffer, KeyMapMagic);
  WriteInt32(buffer, static_cast<std::int32_t>(state.range(0)));
  for (int i = 0; i < state.range(0); ++i) {
    WriteByte(buffer, static_cast<std::uint8_t>(i));
    WriteInt16(buffer, static_cast<std::int16_t>(i));
  }
  const std::string path = folder / "KEYMAPS/bench.key";
  SaveFileWhole(buffer, path);
  for (auto _ : state) LoadKeyMap(path);
}
BENCHMARK(BM_LoadKeyMap)->Arg(37)->Arg(1000);

}  // namespace
