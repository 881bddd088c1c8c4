// The instrument list loader: whatever the file, a list the two menus can show, of names
// without line ends, within the bounds.
#include <cstdint>

#include "app_error.h"
#include "fuzz_folder.h"
#include "instrument_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WriteFuzzFile("PATCHES/Fuzzed.kit", data, size);
  std::vector<std::string> names;
  try {
    names = ReadInstrumentList(FuzzProgramFolder() + "PATCHES/Fuzzed.kit");
  } catch (const AppError&) {
    return 0;
  }
  Require(names.size() <= MaxInstrumentNames, "more names than the bound");
  Require(names.size() <= size, "more names than bytes");
  for (const std::string& name : names) {
    Require(name.size() <= MaxInstrumentNameBytes, "a name past the bound");
    Require(name.find_first_of(std::string("\r\n\0", 3)) == std::string::npos,
            "a line end or NUL inside a name");
  }
  return 0;
}
