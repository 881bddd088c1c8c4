#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The readable text form of a key map and its translation into the binary .key file.
//
// One key per line: a key name and the relative note it plays (semitones above the C of
// the base octave, 0..255), separated by blanks. '#' starts a comment that runs to the
// end of the line; blank lines are ignored. Key names are letters A..Z, digits 0..9, the
// punctuation keys by name (COMMA, PERIOD, SEMICOLON, SLASH, LBRACKET, RBRACKET, EQUALS,
// MINUS, QUOTE, BACKQUOTE, BACKSLASH) or by their character (, . ; / [ ] = - ' ` \), and
// any virtual-key code in hexadecimal (0xBC). Names are not case-sensitive. Entries keep
// the order of the lines; a key may be listed only once.
namespace keymap_source {

struct Entry {
  std::int16_t KeyCode = 0;
  std::uint8_t Note = 0;
};

// The virtual-key code of a key name, or nothing for a name that is not known.
std::optional<std::int16_t> KeyCodeOf(std::string_view name);

// Parses a whole source text. Throws std::runtime_error("line N: ...") for the first
// line that is not a valid entry, and for a text without any entry.
std::vector<Entry> Parse(std::string_view text);

// The bytes of the .key file: the magic "ZVQ_KEYMAPPING1" as a length-prefixed string,
// the entry count (int32, little-endian), then per entry the note (byte) and the key code
// (int16, little-endian).
std::string Encode(const std::vector<Entry>& entries);

}  // namespace keymap_source
