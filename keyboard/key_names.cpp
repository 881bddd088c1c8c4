#include "key_names.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace {

struct NamedKey {
  std::uint16_t code;
  std::string_view name;
  std::string_view label;  // empty: the name without "VK_"
};

constexpr NamedKey kNamedKeys[] = {
    {0x08, "VK_BACK", ""},
    {0x09, "VK_TAB", ""},
    {0x0C, "VK_CLEAR", ""},
    {0x0D, "VK_RETURN", ""},
    {0x10, "VK_SHIFT", ""},
    {0x11, "VK_CONTROL", "CTRL"},
    {0x12, "VK_MENU", "ALT"},
    {0x13, "VK_PAUSE", ""},
    {0x14, "VK_CAPITAL", "CAPS"},
    {0x1B, "VK_ESCAPE", "ESC"},
    {0x20, "VK_SPACE", ""},
    {0x21, "VK_PRIOR", "PGUP"},
    {0x22, "VK_NEXT", "PGDN"},
    {0x23, "VK_END", ""},
    {0x24, "VK_HOME", ""},
    {0x25, "VK_LEFT", ""},
    {0x26, "VK_UP", ""},
    {0x27, "VK_RIGHT", ""},
    {0x28, "VK_DOWN", ""},
    {0x2C, "VK_SNAPSHOT", "PRINT"},
    {0x2D, "VK_INSERT", "INS"},
    {0x2E, "VK_DELETE", "DEL"},
    {0x2F, "VK_HELP", ""},
    {0x5B, "VK_LWIN", ""},
    {0x5C, "VK_RWIN", ""},
    {0x5D, "VK_APPS", ""},
    {0x5F, "VK_SLEEP", ""},
    {0x6A, "VK_MULTIPLY", "NUM*"},
    {0x6B, "VK_ADD", "NUM+"},
    {0x6C, "VK_SEPARATOR", ""},
    {0x6D, "VK_SUBTRACT", "NUM-"},
    {0x6E, "VK_DECIMAL", "NUM."},
    {0x6F, "VK_DIVIDE", "NUM/"},
    {0x90, "VK_NUMLOCK", ""},
    {0x91, "VK_SCROLL", ""},
    {0xA6, "VK_BROWSER_BACK", ""},
    {0xA7, "VK_BROWSER_FORWARD", ""},
    {0xA8, "VK_BROWSER_REFRESH", ""},
    {0xA9, "VK_BROWSER_STOP", ""},
    {0xAA, "VK_BROWSER_SEARCH", ""},
    {0xAB, "VK_BROWSER_FAVORITES", ""},
    {0xAC, "VK_BROWSER_HOME", ""},
    {0xAD, "VK_VOLUME_MUTE", ""},
    {0xAE, "VK_VOLUME_DOWN", ""},
    {0xAF, "VK_VOLUME_UP", ""},
    {0xB0, "VK_MEDIA_NEXT_TRACK", ""},
    {0xB1, "VK_MEDIA_PREV_TRACK", ""},
    {0xB2, "VK_MEDIA_STOP", ""},
    {0xB3, "VK_MEDIA_PLAY_PAUSE", ""},
    {0xB4, "VK_LAUNCH_MAIL", ""},
    {0xB5, "VK_LAUNCH_MEDIA_SELECT", ""},
    {0xB6, "VK_LAUNCH_APP1", ""},
    {0xB7, "VK_LAUNCH_APP2", ""},
    {0xBA, "VK_OEM_1", ";"},
    {0xBB, "VK_OEM_PLUS", "="},
    {0xBC, "VK_OEM_COMMA", ","},
    {0xBD, "VK_OEM_MINUS", "-"},
    {0xBE, "VK_OEM_PERIOD", "."},
    {0xBF, "VK_OEM_2", "/"},
    {0xC0, "VK_OEM_3", "`"},
    {0xDB, "VK_OEM_4", "["},
    {0xDC, "VK_OEM_5", "\\"},
    {0xDD, "VK_OEM_6", "]"},
    {0xDE, "VK_OEM_7", "'"},
    {0xE2, "VK_OEM_102", "<>"},
};

const NamedKey* FindNamed(std::uint16_t code) {
  for (const NamedKey& key : kNamedKeys) {
    if (key.code == code) return &key;
  }
  return nullptr;
}

bool IsLetterOrDigit(std::uint16_t code) {
  return (code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9');
}

constexpr std::array<std::string_view, 12> kPitchClasses = {"C",  "C#", "D",  "D#", "E",  "F",
                                                            "F#", "G",  "G#", "A",  "A#", "B"};

}  // namespace

std::string VirtualKeyName(std::uint16_t code) {
  if (IsLetterOrDigit(code)) return std::string(1, static_cast<char>(code));
  if (code >= 0x60 && code <= 0x69) return "VK_NUMPAD" + std::to_string(code - 0x60);
  if (code >= 0x70 && code <= 0x87) return "VK_F" + std::to_string(code - 0x70 + 1);
  const NamedKey* key = FindNamed(code);
  return key != nullptr ? std::string(key->name) : std::string();
}

std::string VirtualKeyLabel(std::uint16_t code) {
  const NamedKey* key = FindNamed(code);
  if (key != nullptr && !key->label.empty()) return std::string(key->label);
  if (code >= 0x60 && code <= 0x69) return "NUM" + std::to_string(code - 0x60);
  const std::string name = VirtualKeyName(code);
  if (name.empty()) return "0x" + HexCode(code);
  return name.rfind("VK_", 0) == 0 ? name.substr(3) : name;
}

std::string HexCode(std::uint16_t code) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(code));
  return text;
}

std::string MidiNoteName(int note) {
  if (note < 0 || note > 127) return {};
  return PitchClassName(note) + std::to_string(note / 12 - 1);
}

std::string PitchClassName(int note) {
  return std::string(kPitchClasses[static_cast<std::size_t>(((note % 12) + 12) % 12)]);
}
