#pragma once

#include <cstdint>
#include <string>

// Names of virtual-key codes and notes, as the key-map editor and the key-code viewer
// show them.

// The Windows name of a virtual-key code: the letter or digit itself for A..Z and 0..9
// ("Z", "5"), else its VK_ name ("VK_OEM_COMMA", "VK_F1"); empty for a code without one.
std::string VirtualKeyName(std::uint16_t code);

// A short label for a key on a small space: the US character of a punctuation key
// (",", "["), the letter or digit, else the name without "VK_" ("SPACE", "F1"), else the
// code in hexadecimal ("0x07").
std::string VirtualKeyLabel(std::uint16_t code);

// The code in two or more upper-case hexadecimal digits: 0x5A -> "5A".
std::string HexCode(std::uint16_t code);

// The name of a MIDI note number with its octave, middle C (60) being "C4": 61 -> "C#4".
// Numbers outside 0..127 give an empty string.
std::string MidiNoteName(int note);

// The pitch class of a relative note: 0 -> "C", 13 -> "C#".
std::string PitchClassName(int note);
