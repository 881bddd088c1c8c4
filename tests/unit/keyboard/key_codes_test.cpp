#include "key_codes.h"

#include <gtest/gtest.h>

#include <QInputDevice>
#include <QKeyEvent>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// XKB keycode of a Linux input event code.
std::uint32_t Xkb(std::uint32_t evdev) { return evdev + 8; }

struct Expect {
  std::uint32_t code;  // evdev code or Qt key
  std::uint16_t vk;
  const char* what;
};

void ExpectXkb(const std::vector<Expect>& cases) {
  for (const Expect& c : cases) {
    EXPECT_EQ(VirtualKeyFromXkbKeycode(Xkb(c.code)), c.vk) << c.what << " (evdev " << c.code << ")";
  }
}

void ExpectQt(const std::vector<Expect>& cases) {
  for (const Expect& c : cases) {
    EXPECT_EQ(VirtualKeyFromQtKey(static_cast<int>(c.code)), c.vk) << c.what;
  }
}

// ---- XKB keycodes ----------------------------------------------------------------

TEST(VirtualKeyFromXkbKeycode, LettersByTheirUsPosition) {
  const std::pair<std::uint32_t, std::string> rows[] = {
      {16, "QWERTYUIOP"}, {30, "ASDFGHJKL"}, {44, "ZXCVBNM"}};
  int letters = 0;
  for (const auto& [first, row] : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      EXPECT_EQ(VirtualKeyFromXkbKeycode(Xkb(first + static_cast<std::uint32_t>(i))),
                static_cast<std::uint16_t>(row[i]))
          << row[i];
      ++letters;
    }
  }
  EXPECT_EQ(letters, 26);
}

TEST(VirtualKeyFromXkbKeycode, DigitRow) {
  const std::string digits = "1234567890";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    EXPECT_EQ(VirtualKeyFromXkbKeycode(Xkb(2 + static_cast<std::uint32_t>(i))),
              static_cast<std::uint16_t>(digits[i]))
        << digits[i];
  }
}

TEST(VirtualKeyFromXkbKeycode, PunctuationGivesOemCodes) {
  ExpectXkb({{12, 0xBD, "minus"},
             {13, 0xBB, "equal"},
             {26, 0xDB, "left brace"},
             {27, 0xDD, "right brace"},
             {39, 0xBA, "semicolon"},
             {40, 0xDE, "apostrophe"},
             {41, 0xC0, "grave"},
             {43, 0xDC, "backslash"},
             {51, 0xBC, "comma"},
             {52, 0xBE, "dot"},
             {53, 0xBF, "slash"},
             {86, 0xE2, "102nd key"}});
}

TEST(VirtualKeyFromXkbKeycode, FunctionKeys) {
  for (std::uint32_t i = 0; i < 10; ++i) {
    EXPECT_EQ(VirtualKeyFromXkbKeycode(Xkb(59 + i)), 0x70 + i) << "F" << i + 1;
  }
  EXPECT_EQ(VirtualKeyFromXkbKeycode(Xkb(87)), 0x7A) << "F11";
  EXPECT_EQ(VirtualKeyFromXkbKeycode(Xkb(88)), 0x7B) << "F12";
  for (std::uint32_t i = 0; i < 12; ++i) {
    EXPECT_EQ(VirtualKeyFromXkbKeycode(Xkb(183 + i)), 0x7C + i) << "F" << i + 13;
  }
}

TEST(VirtualKeyFromXkbKeycode, Keypad) {
  ExpectXkb({{82, 0x60, "KP0"},
             {79, 0x61, "KP1"},
             {80, 0x62, "KP2"},
             {81, 0x63, "KP3"},
             {75, 0x64, "KP4"},
             {76, 0x65, "KP5"},
             {77, 0x66, "KP6"},
             {71, 0x67, "KP7"},
             {72, 0x68, "KP8"},
             {73, 0x69, "KP9"},
             {55, 0x6A, "KP asterisk"},
             {78, 0x6B, "KP plus"},
             {74, 0x6D, "KP minus"},
             {83, 0x6E, "KP dot"},
             {98, 0x6F, "KP slash"},
             {96, 0x0D, "KP enter"},
             {69, 0x90, "Num Lock"}});
}

TEST(VirtualKeyFromXkbKeycode, ArrowsAndEditingKeys) {
  ExpectXkb({{103, 0x26, "up"},
             {105, 0x25, "left"},
             {106, 0x27, "right"},
             {108, 0x28, "down"},
             {110, 0x2D, "insert"},
             {111, 0x2E, "delete"},
             {102, 0x24, "home"},
             {107, 0x23, "end"},
             {104, 0x21, "page up"},
             {109, 0x22, "page down"}});
}

TEST(VirtualKeyFromXkbKeycode, ModifiersGiveTheGenericWindowsCodes) {
  ExpectXkb({{42, 0x10, "left shift"},
             {54, 0x10, "right shift"},
             {29, 0x11, "left ctrl"},
             {97, 0x11, "right ctrl"},
             {56, 0x12, "left alt"},
             {100, 0x12, "right alt"},
             {125, 0x5B, "left meta"},
             {126, 0x5C, "right meta"},
             {58, 0x14, "caps lock"},
             {127, 0x5D, "menu"}});
}

TEST(VirtualKeyFromXkbKeycode, ControlKeys) {
  ExpectXkb({{57, 0x20, "space"},
             {1, 0x1B, "escape"},
             {15, 0x09, "tab"},
             {14, 0x08, "backspace"},
             {28, 0x0D, "enter"},
             {99, 0x2C, "print screen"},
             {70, 0x91, "scroll lock"},
             {119, 0x13, "pause"}});
}

TEST(VirtualKeyFromXkbKeycode, KeycodesWithoutAKeyGiveZero) {
  // XKB keycodes start at 8 (evdev 0 = reserved); X11 keycodes are one byte.
  for (std::uint32_t k = 0; k <= 8; ++k) EXPECT_EQ(VirtualKeyFromXkbKeycode(k), 0) << k;
  EXPECT_EQ(VirtualKeyFromXkbKeycode(Xkb(84)), 0);  // no key at evdev 84
  EXPECT_EQ(VirtualKeyFromXkbKeycode(255), 0);
  EXPECT_EQ(VirtualKeyFromXkbKeycode(256), 0);
  EXPECT_EQ(VirtualKeyFromXkbKeycode(Xkb(183) + 256), 0);  // no wrap-around into F13
  EXPECT_EQ(VirtualKeyFromXkbKeycode(0xFFFFFFFFu), 0);
}

TEST(VirtualKeyFromXkbKeycode, OnlyModifiersAndEnterShareACode) {
  std::map<std::uint16_t, std::vector<std::uint32_t>> keysOfCode;
  for (std::uint32_t k = 0; k < 256; ++k) {
    const std::uint16_t vk = VirtualKeyFromXkbKeycode(k);
    if (vk != 0) keysOfCode[vk].push_back(k);
  }
  const std::set<std::uint16_t> shared = {0x10, 0x11, 0x12, 0x0D};
  for (const auto& [vk, keys] : keysOfCode) {
    EXPECT_EQ(keys.size(), shared.count(vk) != 0 ? 2u : 1u) << "code 0x" << std::hex << vk;
  }
  // The main block of a 105-key keyboard is all there: evdev 1..83 and 86..88.
  for (std::uint32_t evdev = 1; evdev <= 88; ++evdev) {
    if (evdev == 84 || evdev == 85) continue;
    EXPECT_NE(VirtualKeyFromXkbKeycode(Xkb(evdev)), 0) << "evdev " << evdev;
  }
}

// ---- Qt keys -----------------------------------------------------------------------

TEST(VirtualKeyFromQtKey, LettersDigitsAndFunctionKeys) {
  for (int k = Qt::Key_A; k <= Qt::Key_Z; ++k) EXPECT_EQ(VirtualKeyFromQtKey(k), k);
  for (int k = Qt::Key_0; k <= Qt::Key_9; ++k) EXPECT_EQ(VirtualKeyFromQtKey(k), k);
  for (int i = 0; i < 24; ++i) {
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_F1 + i), 0x70 + i) << "F" << i + 1;
  }
  EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_F25), 0);
}

TEST(VirtualKeyFromQtKey, PunctuationAndItsShiftedSymbolsGiveTheSameOemCode) {
  ExpectQt({{Qt::Key_Comma, 0xBC, ","},        {Qt::Key_Less, 0xBC, "<"},
            {Qt::Key_Period, 0xBE, "."},       {Qt::Key_Greater, 0xBE, ">"},
            {Qt::Key_Semicolon, 0xBA, ";"},    {Qt::Key_Colon, 0xBA, ":"},
            {Qt::Key_Slash, 0xBF, "/"},        {Qt::Key_Question, 0xBF, "?"},
            {Qt::Key_BracketLeft, 0xDB, "["},  {Qt::Key_BraceLeft, 0xDB, "{"},
            {Qt::Key_BracketRight, 0xDD, "]"}, {Qt::Key_BraceRight, 0xDD, "}"},
            {Qt::Key_Equal, 0xBB, "="},        {Qt::Key_Plus, 0xBB, "+"},
            {Qt::Key_Minus, 0xBD, "-"},        {Qt::Key_Underscore, 0xBD, "_"},
            {Qt::Key_Apostrophe, 0xDE, "'"},   {Qt::Key_QuoteDbl, 0xDE, "\""},
            {Qt::Key_QuoteLeft, 0xC0, "`"},    {Qt::Key_AsciiTilde, 0xC0, "~"},
            {Qt::Key_Backslash, 0xDC, "\\"},   {Qt::Key_Bar, 0xDC, "|"}});
}

TEST(VirtualKeyFromQtKey, ShiftedDigitSymbolsGiveTheirDigitKey) {
  // Qt's keys for these symbols are their ASCII codes.
  const std::string shifted = "!@#$%^&*()";
  const std::string digits = "1234567890";
  for (std::size_t i = 0; i < shifted.size(); ++i) {
    EXPECT_EQ(VirtualKeyFromQtKey(shifted[i]), static_cast<std::uint16_t>(digits[i])) << shifted[i];
  }
}

TEST(VirtualKeyFromQtKey, ControlNavigationAndModifierKeys) {
  ExpectQt({{Qt::Key_Space, 0x20, "space"},
            {Qt::Key_Escape, 0x1B, "escape"},
            {Qt::Key_Tab, 0x09, "tab"},
            {Qt::Key_Backtab, 0x09, "backtab"},
            {Qt::Key_Return, 0x0D, "return"},
            {Qt::Key_Enter, 0x0D, "enter"},
            {Qt::Key_Backspace, 0x08, "backspace"},
            {Qt::Key_Left, 0x25, "left"},
            {Qt::Key_Up, 0x26, "up"},
            {Qt::Key_Right, 0x27, "right"},
            {Qt::Key_Down, 0x28, "down"},
            {Qt::Key_Insert, 0x2D, "insert"},
            {Qt::Key_Delete, 0x2E, "delete"},
            {Qt::Key_Home, 0x24, "home"},
            {Qt::Key_End, 0x23, "end"},
            {Qt::Key_PageUp, 0x21, "page up"},
            {Qt::Key_PageDown, 0x22, "page down"},
            {Qt::Key_Shift, 0x10, "shift"},
            {Qt::Key_Control, 0x11, "control"},
            {Qt::Key_Alt, 0x12, "alt"},
            {Qt::Key_CapsLock, 0x14, "caps lock"}});
}

TEST(VirtualKeyFromQtKey, KeysWithoutACodeGiveZero) {
  ExpectQt({{Qt::Key_unknown, 0, "unknown"},
            {Qt::Key_Eacute, 0, "e acute (a letter of other layouts)"},
            {Qt::Key_Dead_Acute, 0, "dead acute"},
            {0, 0, "zero"}});
  EXPECT_EQ(VirtualKeyFromQtKey(-1), 0);
  EXPECT_EQ(VirtualKeyFromQtKey('a'), 0);  // Qt keys of letters are upper case only
}

// Both tables agree on every key that both know.
TEST(KeyCodes, XkbAndQtTablesAgree) {
  const std::pair<std::uint32_t, int> same[] = {
      {12, Qt::Key_Minus},        {13, Qt::Key_Equal},     {26, Qt::Key_BracketLeft},
      {27, Qt::Key_BracketRight}, {39, Qt::Key_Semicolon}, {40, Qt::Key_Apostrophe},
      {41, Qt::Key_QuoteLeft},    {43, Qt::Key_Backslash}, {51, Qt::Key_Comma},
      {52, Qt::Key_Period},       {53, Qt::Key_Slash},     {57, Qt::Key_Space},
      {1, Qt::Key_Escape},        {15, Qt::Key_Tab},       {14, Qt::Key_Backspace},
      {28, Qt::Key_Return},       {42, Qt::Key_Shift},     {29, Qt::Key_Control},
      {56, Qt::Key_Alt},          {58, Qt::Key_CapsLock},  {87, Qt::Key_F11},
      {88, Qt::Key_F12},          {194, Qt::Key_F24},      {110, Qt::Key_Insert},
      {103, Qt::Key_Up},          {119, Qt::Key_Pause},    {99, Qt::Key_Print}};
  for (const auto& [evdev, qtKey] : same) {
    EXPECT_EQ(VirtualKeyFromXkbKeycode(Xkb(evdev)), VirtualKeyFromQtKey(qtKey))
        << "evdev " << evdev;
  }
}

// Without a window system (no application object here) the Qt key decides; the
// keypad modifier picks the keypad codes. (Windows events carry their own code.)
#ifndef Q_OS_WIN
// Events from a keyboard device of the test's own (the default one would be a global
// that nothing owns without an application object).
QKeyEvent KeyEvent(QEvent::Type type, int key, Qt::KeyboardModifiers modifiers,
                   std::uint32_t scanCode = 0) {
  static const QInputDevice keyboard(QStringLiteral("test keyboard"), 1,
                                     QInputDevice::DeviceType::Keyboard);
  return QKeyEvent(type, key, modifiers, scanCode, 0, 0, QString(), false, 1, &keyboard);
}

TEST(VirtualKeyOf, WithoutScanCodesTheQtKeyDecides) {
  // The A key of an AZERTY keyboard sits where the US layout has Q (evdev 16).
  const QKeyEvent azertyA = KeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, Xkb(16));
  EXPECT_EQ(VirtualKeyOf(azertyA), 'A');
  const QKeyEvent shiftedOne = KeyEvent(QEvent::KeyPress, Qt::Key_Exclam, Qt::ShiftModifier);
  EXPECT_EQ(VirtualKeyOf(shiftedOne), '1');
  const QKeyEvent digit = KeyEvent(QEvent::KeyPress, Qt::Key_5, Qt::NoModifier);
  EXPECT_EQ(VirtualKeyOf(digit), '5');
  const QKeyEvent release = KeyEvent(QEvent::KeyRelease, Qt::Key_F10, Qt::NoModifier);
  EXPECT_EQ(VirtualKeyOf(release), 0x79);
}

TEST(VirtualKeyOf, KeypadModifierGivesKeypadCodes) {
  const std::pair<int, std::uint16_t> keypad[] = {
      {Qt::Key_0, 0x60},        {Qt::Key_5, 0x65},     {Qt::Key_9, 0x69},
      {Qt::Key_Asterisk, 0x6A}, {Qt::Key_Plus, 0x6B},  {Qt::Key_Minus, 0x6D},
      {Qt::Key_Period, 0x6E},   {Qt::Key_Slash, 0x6F}, {Qt::Key_Enter, 0x0D},
      {Qt::Key_Left, 0x25},     {Qt::Key_Home, 0x24}};
  for (const auto& [qtKey, vk] : keypad) {
    const QKeyEvent event = KeyEvent(QEvent::KeyPress, qtKey, Qt::KeypadModifier);
    EXPECT_EQ(VirtualKeyOf(event), vk) << "Qt key 0x" << std::hex << qtKey;
  }
}
#endif

}  // namespace
