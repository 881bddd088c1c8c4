#pragma once

#include <cstddef>

// The largest file each loader reads. Every bound is far above any real file of its kind,
// so that only a damaged or hostile file (a name that leads to a huge file) is refused
// instead of taking the machine's memory.

// A configuration holds four short strings and a few numbers: at most 1,076 bytes.
inline constexpr std::size_t ConfigFileLimit = 64 * 1024;
// setup.ini holds one short string: at most 256 bytes.
inline constexpr std::size_t SetupFileLimit = 64 * 1024;
// A key map entry takes 3 bytes; 1 MB holds every 16-bit key code five times over.
inline constexpr std::size_t KeyMapFileLimit = 1024 * 1024;
// The General MIDI list is about 2 KB; 1 MB holds the longest list the menus show
// (instrument_list.h) with names far longer than any real one.
inline constexpr std::size_t InstrumentListFileLimit = 1024 * 1024;
// A shipped skin is 26 to 135 KB; 64 MB is a 24-bit picture of about 22 million pixels.
inline constexpr std::size_t SkinFileLimit = 64 * 1024 * 1024;
