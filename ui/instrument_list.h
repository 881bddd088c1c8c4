#pragma once

#include <string>
#include <string_view>
#include <vector>

// An instrument list's text split into names: a line ends at CR, LF or CR LF; a NUL
// ends the text; the last line counts without a line end, but a line end at the very
// end adds no empty entry. Lines are kept unchanged, empty ones included.
std::vector<std::string> SplitInstrumentNames(std::string_view text);

// Reads and splits the instrument list file (raises as a whole-file load does).
std::vector<std::string> ReadInstrumentList(const std::string& fileName);
