#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The most names a list gives: four times the 256 numbers a program change can carry, so
// that every position a real list can have is there (128..255 are sent unchanged, from 256
// a note raises the range error), while a damaged file of millions of lines still leaves
// the two instrument menus usable. Lines past it are left out.
inline constexpr std::size_t MaxInstrumentNames = 1024;
// The longest name kept, in bytes: the size of a short string, as for every other name.
inline constexpr std::size_t MaxInstrumentNameBytes = 255;

// An instrument list's text split into names: a line ends at CR, LF or CR LF; a NUL
// ends the text; the last line counts without a line end, but a line end at the very
// end adds no empty entry. Lines are kept unchanged, empty ones included, up to the
// bounds above (a longer name is cut between characters).
std::vector<std::string> SplitInstrumentNames(std::string_view text);

// Reads and splits the instrument list file (raises as a whole-file load does).
std::vector<std::string> ReadInstrumentList(const std::string& fileName);
