#include "instrument_list.h"

#include "field_stream.h"
#include "load_limits.h"
#include "short_string.h"

std::vector<std::string> SplitInstrumentNames(std::string_view text) {
  if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
    text = text.substr(0, nul);
  }
  std::vector<std::string> names;
  std::size_t start = 0;
  const auto name = [](std::string_view line) {
    return std::string(CutAtCharacter(line, MaxInstrumentNameBytes));
  };
  while (start < text.size() && names.size() < MaxInstrumentNames) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      names.push_back(name(text.substr(start)));
      break;
    }
    names.push_back(name(text.substr(start, end - start)));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return names;
}

std::vector<std::string> ReadInstrumentList(const std::string& fileName) {
  const MemoryBuffer buffer = LoadFileWhole(fileName, InstrumentListFileLimit);
  return SplitInstrumentNames(
      std::string_view(reinterpret_cast<const char*>(buffer.Bytes.data()), buffer.Bytes.size()));
}
