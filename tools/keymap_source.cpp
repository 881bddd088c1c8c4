#include "keymap_source.h"

#include <array>
#include <charconv>
#include <stdexcept>

namespace keymap_source {
namespace {

struct NamedKey {
  std::string_view Name;
  std::string_view Character;
  std::int16_t Code;
};

// The punctuation keys of a US layout with their Windows virtual-key codes.
constexpr std::array<NamedKey, 11> NamedKeys{{
    {"SEMICOLON", ";", 0xBA},
    {"EQUALS", "=", 0xBB},
    {"COMMA", ",", 0xBC},
    {"MINUS", "-", 0xBD},
    {"PERIOD", ".", 0xBE},
    {"SLASH", "/", 0xBF},
    {"BACKQUOTE", "`", 0xC0},
    {"LBRACKET", "[", 0xDB},
    {"BACKSLASH", "\\", 0xDC},
    {"RBRACKET", "]", 0xDD},
    {"QUOTE", "'", 0xDE},
}};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

std::optional<std::int16_t> HexCode(std::string_view digits) {
  if (digits.empty() || digits.size() > 4) return std::nullopt;
  unsigned value = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  if (value == 0 || value > 0x7FFF) return std::nullopt;
  return static_cast<std::int16_t>(value);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Splits a line (comment already removed) into its blank-separated words.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

[[noreturn]] void Fail(int lineNumber, const std::string& what) {
  throw std::runtime_error("line " + std::to_string(lineNumber) + ": " + what);
}

std::uint8_t NoteOf(std::string_view word, int lineNumber) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc() || end != word.data() + word.size() || value > 255) {
    Fail(lineNumber, "the note must be a number from 0 to 255, not \"" + std::string(word) + "\"");
  }
  return static_cast<std::uint8_t>(value);
}

void AppendLittleEndian(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::optional<std::int16_t> KeyCodeOf(std::string_view name) {
  if (name.size() == 1) {
    const char c = Upper(name[0]);
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return static_cast<std::int16_t>(c);
  }
  if (name.size() > 2 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
    return HexCode(name.substr(2));
  }
  for (const NamedKey& key : NamedKeys) {
    if (name == key.Character || SameIgnoringCase(name, key.Name)) return key.Code;
  }
  return std::nullopt;
}

std::vector<Entry> Parse(std::string_view text) {
  std::vector<Entry> entries;
  std::vector<int> linesOfEntries;
  int lineNumber = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;

    line = line.substr(0, line.find('#'));
    const std::vector<std::string_view> words = Words(line);
    if (words.empty()) continue;
    if (words.size() != 2) Fail(lineNumber, "expected a key name and a note");

    const std::optional<std::int16_t> code = KeyCodeOf(words[0]);
    if (!code) Fail(lineNumber, "unknown key \"" + std::string(words[0]) + "\"");
    const std::uint8_t note = NoteOf(words[1], lineNumber);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].KeyCode == *code) {
        Fail(lineNumber, "key \"" + std::string(words[0]) + "\" is already listed on line " +
                             std::to_string(linesOfEntries[i]));
      }
    }
    entries.push_back({*code, note});
    linesOfEntries.push_back(lineNumber);
  }
  if (entries.empty()) throw std::runtime_error("the key map lists no keys");
  return entries;
}

std::string Encode(const std::vector<Entry>& entries) {
  constexpr std::string_view Magic = "ZVQ_KEYMAPPING1";
  std::string out;
  out.push_back(static_cast<char>(Magic.size()));
  out.append(Magic);
  AppendLittleEndian(out, static_cast<std::uint32_t>(entries.size()), 4);
  for (const Entry& entry : entries) {
    out.push_back(static_cast<char>(entry.Note));
    AppendLittleEndian(out, static_cast<std::uint16_t>(entry.KeyCode), 2);
  }
  return out;
}

}  // namespace keymap_source
