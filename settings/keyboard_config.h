#pragma once

#include <cstdint>

#include "short_string.h"

// All user choices of the program. The field order is also the order of the fields
// in a configuration file.
struct TKeyboardConfig {
  ShortString ConfigName;
  ShortString SkinFile;
  std::int32_t SpareDevice = 0;
  std::int32_t RecordingDevice = 0;
  std::int32_t PlayingDevice = 0;
  ShortString KeymapFile;
  ShortString PatchFile;
  std::uint8_t Octave = 0;
  std::int32_t RecordingInstrument = 0;
  std::int32_t PlayingInstrument = 0;
  std::uint8_t RecordingChannel = 0;
  std::uint8_t PlayingChannel = 0;

  friend bool operator==(const TKeyboardConfig&, const TKeyboardConfig&) = default;
};

// The one settings record of the run; empty (zeros) until start-up fills it.
extern TKeyboardConfig Config;

// Sets every field of Config to its default.
void SetDefaults();
