#include "key_codes.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLatin1String>
#include <array>
#include <cstddef>

namespace {

// Windows virtual-key codes that are not plain ASCII letters or digits.
enum Vk : std::uint16_t {
  kBack = 0x08,
  kTab = 0x09,
  kClear = 0x0C,
  kReturn = 0x0D,
  kShift = 0x10,
  kControl = 0x11,
  kAlt = 0x12,  // VK_MENU
  kPause = 0x13,
  kCapital = 0x14,
  kEscape = 0x1B,
  kSpace = 0x20,
  kPrior = 0x21,
  kNext = 0x22,
  kEnd = 0x23,
  kHome = 0x24,
  kLeft = 0x25,
  kUp = 0x26,
  kRight = 0x27,
  kDown = 0x28,
  kSnapshot = 0x2C,
  kInsert = 0x2D,
  kDelete = 0x2E,
  kHelp = 0x2F,
  kLWin = 0x5B,
  kRWin = 0x5C,
  kApps = 0x5D,
  kSleep = 0x5F,
  kNumpad0 = 0x60,
  kMultiply = 0x6A,
  kAdd = 0x6B,
  kSubtract = 0x6D,
  kDecimal = 0x6E,
  kDivide = 0x6F,
  kF1 = 0x70,
  kF11 = 0x7A,
  kF13 = 0x7C,
  kNumLock = 0x90,
  kScroll = 0x91,
  kBrowserBack = 0xA6,
  kBrowserForward = 0xA7,
  kBrowserRefresh = 0xA8,
  kBrowserStop = 0xA9,
  kBrowserSearch = 0xAA,
  kBrowserFavorites = 0xAB,
  kBrowserHome = 0xAC,
  kVolumeMute = 0xAD,
  kVolumeDown = 0xAE,
  kVolumeUp = 0xAF,
  kMediaNext = 0xB0,
  kMediaPrev = 0xB1,
  kMediaStop = 0xB2,
  kMediaPlayPause = 0xB3,
  kLaunchMail = 0xB4,
  kLaunchMediaSelect = 0xB5,
  kLaunchApp2 = 0xB7,
  kOem1 = 0xBA,       // ;:
  kOemPlus = 0xBB,    // =+
  kOemComma = 0xBC,   // ,<
  kOemMinus = 0xBD,   // -_
  kOemPeriod = 0xBE,  // .>
  kOem2 = 0xBF,       // /?
  kOem3 = 0xC0,       // `~
  kOem4 = 0xDB,       // [{
  kOem5 = 0xDC,       // backslash |
  kOem6 = 0xDD,       // ]}
  kOem7 = 0xDE,       // '"
  kOem102 = 0xE2,     // the extra key beside left Shift on 102-key keyboards
};

struct KeyPair {
  std::uint32_t from;
  std::uint16_t to;
};

// Linux input event codes (evdev) and the key each one is on a US keyboard. The
// modifiers give the generic codes that Windows reports in its key events.
constexpr KeyPair kEvdevKeys[] = {
    {1, kEscape},
    {2, '1'},
    {3, '2'},
    {4, '3'},
    {5, '4'},
    {6, '5'},
    {7, '6'},
    {8, '7'},
    {9, '8'},
    {10, '9'},
    {11, '0'},
    {12, kOemMinus},
    {13, kOemPlus},
    {14, kBack},
    {15, kTab},
    {16, 'Q'},
    {17, 'W'},
    {18, 'E'},
    {19, 'R'},
    {20, 'T'},
    {21, 'Y'},
    {22, 'U'},
    {23, 'I'},
    {24, 'O'},
    {25, 'P'},
    {26, kOem4},
    {27, kOem6},
    {28, kReturn},
    {29, kControl},  // left Ctrl
    {30, 'A'},
    {31, 'S'},
    {32, 'D'},
    {33, 'F'},
    {34, 'G'},
    {35, 'H'},
    {36, 'J'},
    {37, 'K'},
    {38, 'L'},
    {39, kOem1},
    {40, kOem7},
    {41, kOem3},
    {42, kShift},  // left Shift
    {43, kOem5},
    {44, 'Z'},
    {45, 'X'},
    {46, 'C'},
    {47, 'V'},
    {48, 'B'},
    {49, 'N'},
    {50, 'M'},
    {51, kOemComma},
    {52, kOemPeriod},
    {53, kOem2},
    {54, kShift},  // right Shift
    {55, kMultiply},
    {56, kAlt},  // left Alt
    {57, kSpace},
    {58, kCapital},
    {59, kF1},
    {60, kF1 + 1},
    {61, kF1 + 2},
    {62, kF1 + 3},
    {63, kF1 + 4},
    {64, kF1 + 5},
    {65, kF1 + 6},
    {66, kF1 + 7},
    {67, kF1 + 8},
    {68, kF1 + 9},
    {69, kNumLock},
    {70, kScroll},
    {71, kNumpad0 + 7},
    {72, kNumpad0 + 8},
    {73, kNumpad0 + 9},
    {74, kSubtract},
    {75, kNumpad0 + 4},
    {76, kNumpad0 + 5},
    {77, kNumpad0 + 6},
    {78, kAdd},
    {79, kNumpad0 + 1},
    {80, kNumpad0 + 2},
    {81, kNumpad0 + 3},
    {82, kNumpad0},
    {83, kDecimal},
    {86, kOem102},
    {87, kF11},
    {88, kF11 + 1},
    {96, kReturn},   // keypad Enter
    {97, kControl},  // right Ctrl
    {98, kDivide},
    {99, kSnapshot},
    {100, kAlt},  // right Alt (AltGr)
    {102, kHome},
    {103, kUp},
    {104, kPrior},
    {105, kLeft},
    {106, kRight},
    {107, kEnd},
    {108, kDown},
    {109, kNext},
    {110, kInsert},
    {111, kDelete},
    {113, kVolumeMute},
    {114, kVolumeDown},
    {115, kVolumeUp},
    {119, kPause},
    {125, kLWin},
    {126, kRWin},
    {127, kApps},
    {128, kBrowserStop},
    {138, kHelp},
    {140, kLaunchApp2},  // calculator
    {142, kSleep},
    {155, kLaunchMail},
    {156, kBrowserFavorites},
    {158, kBrowserBack},
    {159, kBrowserForward},
    {163, kMediaNext},
    {164, kMediaPlayPause},
    {165, kMediaPrev},
    {166, kMediaStop},
    {172, kBrowserHome},
    {173, kBrowserRefresh},
    {183, kF13},
    {184, kF13 + 1},
    {185, kF13 + 2},
    {186, kF13 + 3},
    {187, kF13 + 4},
    {188, kF13 + 5},
    {189, kF13 + 6},
    {190, kF13 + 7},
    {191, kF13 + 8},
    {192, kF13 + 9},
    {193, kF13 + 10},
    {194, kF13 + 11},
    {217, kBrowserSearch},
    {226, kLaunchMediaSelect},
};

// XKB keycodes are evdev codes + 8; X11 keycodes are one byte.
constexpr std::uint32_t kXkbOffset = 8;
constexpr std::size_t kXkbKeycodes = 256;

constexpr std::array<std::uint16_t, kXkbKeycodes> MakeXkbTable() {
  std::array<std::uint16_t, kXkbKeycodes> table{};
  for (const KeyPair& key : kEvdevKeys) table[key.from + kXkbOffset] = key.to;
  return table;
}

constexpr std::array<std::uint16_t, kXkbKeycodes> kXkbTable = MakeXkbTable();

// Qt keys beside letters, digits and F1..F24. The shifted US symbols give the code of
// the key they are typed on.
constexpr KeyPair kQtKeys[] = {
    {Qt::Key_Space, kSpace},
    {Qt::Key_Comma, kOemComma},
    {Qt::Key_Less, kOemComma},
    {Qt::Key_Period, kOemPeriod},
    {Qt::Key_Greater, kOemPeriod},
    {Qt::Key_Semicolon, kOem1},
    {Qt::Key_Colon, kOem1},
    {Qt::Key_Slash, kOem2},
    {Qt::Key_Question, kOem2},
    {Qt::Key_BracketLeft, kOem4},
    {Qt::Key_BraceLeft, kOem4},
    {Qt::Key_BracketRight, kOem6},
    {Qt::Key_BraceRight, kOem6},
    {Qt::Key_Equal, kOemPlus},
    {Qt::Key_Plus, kOemPlus},
    {Qt::Key_Minus, kOemMinus},
    {Qt::Key_Underscore, kOemMinus},
    {Qt::Key_Apostrophe, kOem7},
    {Qt::Key_QuoteDbl, kOem7},
    {Qt::Key_QuoteLeft, kOem3},
    {Qt::Key_AsciiTilde, kOem3},
    {Qt::Key_Backslash, kOem5},
    {Qt::Key_Bar, kOem5},
    {Qt::Key_Exclam, '1'},
    {Qt::Key_At, '2'},
    {Qt::Key_NumberSign, '3'},
    {Qt::Key_Dollar, '4'},
    {Qt::Key_Percent, '5'},
    {Qt::Key_AsciiCircum, '6'},
    {Qt::Key_Ampersand, '7'},
    {Qt::Key_Asterisk, '8'},
    {Qt::Key_ParenLeft, '9'},
    {Qt::Key_ParenRight, '0'},
    {Qt::Key_Escape, kEscape},
    {Qt::Key_Tab, kTab},
    {Qt::Key_Backtab, kTab},
    {Qt::Key_Backspace, kBack},
    {Qt::Key_Return, kReturn},
    {Qt::Key_Enter, kReturn},
    {Qt::Key_Insert, kInsert},
    {Qt::Key_Delete, kDelete},
    {Qt::Key_Pause, kPause},
    {Qt::Key_Print, kSnapshot},
    {Qt::Key_SysReq, kSnapshot},
    {Qt::Key_Clear, kClear},
    {Qt::Key_Home, kHome},
    {Qt::Key_End, kEnd},
    {Qt::Key_Left, kLeft},
    {Qt::Key_Up, kUp},
    {Qt::Key_Right, kRight},
    {Qt::Key_Down, kDown},
    {Qt::Key_PageUp, kPrior},
    {Qt::Key_PageDown, kNext},
    {Qt::Key_Shift, kShift},
    {Qt::Key_Control, kControl},
    {Qt::Key_Meta, kLWin},
    {Qt::Key_Alt, kAlt},
    {Qt::Key_AltGr, kAlt},
    {Qt::Key_CapsLock, kCapital},
    {Qt::Key_NumLock, kNumLock},
    {Qt::Key_ScrollLock, kScroll},
    {Qt::Key_Super_L, kLWin},
    {Qt::Key_Super_R, kRWin},
    {Qt::Key_Menu, kApps},
    {Qt::Key_Help, kHelp},
};

// Keypad keys, told apart from the main keys by the keypad modifier of the event.
constexpr KeyPair kQtKeypadKeys[] = {
    {Qt::Key_Asterisk, kMultiply}, {Qt::Key_Plus, kAdd},      {Qt::Key_Minus, kSubtract},
    {Qt::Key_Period, kDecimal},    {Qt::Key_Comma, kDecimal}, {Qt::Key_Slash, kDivide},
    {Qt::Key_Enter, kReturn},      {Qt::Key_Return, kReturn},
};

template <std::size_t N>
constexpr std::uint16_t Lookup(const KeyPair (&table)[N], std::uint32_t key) {
  for (const KeyPair& pair : table) {
    if (pair.from == key) return pair.to;
  }
  return 0;
}

std::uint16_t VirtualKeyFromQtKeypadKey(int qtKey) {
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
    return static_cast<std::uint16_t>(kNumpad0 + (qtKey - Qt::Key_0));
  }
  const std::uint16_t code = Lookup(kQtKeypadKeys, static_cast<std::uint32_t>(qtKey));
  return code != 0 ? code : VirtualKeyFromQtKey(qtKey);
}

#ifndef Q_OS_WIN
bool PlatformHasXkbKeycodes() {
  const QString platform = QGuiApplication::platformName();
  return platform.startsWith(QLatin1String("xcb")) || platform.startsWith(QLatin1String("wayland"));
}
#endif

}  // namespace

std::uint16_t VirtualKeyFromXkbKeycode(std::uint32_t xkbKeycode) {
  return xkbKeycode < kXkbTable.size() ? kXkbTable[xkbKeycode] : 0;
}

std::uint16_t VirtualKeyFromQtKey(int qtKey) {
  if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) {
    return static_cast<std::uint16_t>(qtKey);  // the same ASCII upper-case codes
  }
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
    return static_cast<std::uint16_t>(kF1 + (qtKey - Qt::Key_F1));
  }
  if (qtKey < 0) return 0;
  return Lookup(kQtKeys, static_cast<std::uint32_t>(qtKey));
}

std::uint16_t VirtualKeyOf(const QKeyEvent& event) {
#ifdef Q_OS_WIN
  // Key events made by the offscreen test platform carry no native code.
  if (event.nativeVirtualKey() != 0) return static_cast<std::uint16_t>(event.nativeVirtualKey());
#else
  // The platform does not change while the program runs.
  static const bool xkb = PlatformHasXkbKeycodes();
  if (xkb) {
    const std::uint16_t code = VirtualKeyFromXkbKeycode(event.nativeScanCode());
    if (code != 0) return code;
  }
#endif
  if (event.modifiers().testFlag(Qt::KeypadModifier)) return VirtualKeyFromQtKeypadKey(event.key());
  return VirtualKeyFromQtKey(event.key());
}
