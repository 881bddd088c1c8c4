#pragma once

#include <cstdint>

class QKeyEvent;

// Key events become Windows virtual-key codes by physical key position, so that one
// key map plays the same on every keyboard layout. 0 = a key with no code.

// X11/Wayland: the XKB keycode (evdev code + 8) -> the code that key has on a US layout.
std::uint16_t VirtualKeyFromXkbKeycode(std::uint32_t xkbKeycode);
// Platforms without scan codes (the offscreen test platform): from Qt::Key.
std::uint16_t VirtualKeyFromQtKey(int qtKey);
// The code of a key event on the running platform.
std::uint16_t VirtualKeyOf(const QKeyEvent& event);
