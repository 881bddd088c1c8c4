#pragma once

#include <array>
#include <cstdint>

// What the note engine needs from the main window. Kept free of Qt so that the whole
// key path runs in unit tests and benchmarks without a window system.
class NoteDisplay {
 public:
  virtual ~NoteDisplay() = default;
  virtual void DrawKeyDown(std::uint8_t note) = 0;
  virtual void DrawKeyUp(std::uint8_t note) = 0;
  // Paints the whole keyboard at once (all keys up), not as a deferred update.
  virtual void FormPaint() = 0;
  // The modal "Attention!" box; the engine paints first.
  virtual void ShowNoDevicesWarning() = 0;
  // Rebuilds the Octave submenu with Config.Octave checked.
  virtual void RebuildOctaveMenu() = 0;
};

// Per-note pressed flags indexed by absolute note; only 0..127 are ever set.
extern std::array<std::uint8_t, 256> PressedNotes;
// How many pointers (the mouse, touch points) hold each note on the picture. A note held
// by keys and pointers together is one note: it starts with the first of them and ends
// with the last.
extern std::array<std::uint8_t, 128> PointerHolds;
// Counts the times every note was ended at once (all notes off, the keyboard lost): a
// pointer held since then plays no more until it is pressed again.
extern std::uint32_t ReleasesOfAll;

// The display the engine draws on; null draws nothing (set by the main window).
void SetNoteDisplay(NoteDisplay* display);
NoteDisplay* CurrentNoteDisplay();

#ifndef VK_SPACE  // <windows.h> has them as macros of the same values
inline constexpr std::uint16_t VK_SPACE = 0x20;
inline constexpr std::uint16_t VK_F1 = 0x70;
inline constexpr std::uint16_t VK_F9 = 0x78;
#endif
inline constexpr std::uint8_t NoteVelocity = 100;

void FormKeyDown(std::uint16_t key);
void FormKeyUp(std::uint16_t key);
void NoteOn(std::int32_t note);
void NoteOff(std::int32_t note);
// The picture's pointers: a pointer pressing a key, or leaving it.
void PointerNoteOn(std::int32_t note);
void PointerNoteOff(std::int32_t note);
void AllNotesOff();
void SetOctave(std::uint8_t octave);
// Octave submenu click: position of the clicked item, and whether the click left it
// checked (the caller re-checks it when it did not).
void OctaveChosen(int position);
void WarnNoDevices();
bool IsMidiNote(std::int32_t n);
// A note-on or note-off goes to the recording device and, when it is another one, to the
// playing device. A failure ends a note-on (and its program changes) where it happens: a
// failing recording device leaves the playing device unserved. A failing device keeps no
// other from its note-off: the first failure is raised once both have been served. A
// note-off goes only to a device that is open: closing a device ends every note it played.
//
// Releases every note held by a key or a pointer as NoteOff does (used when the window
// loses the keyboard or the mouse); a failing note keeps no other from its note-off.
void ReleasePressedNotes();
// At program end, after the main window is gone: closes the devices still open, so that
// the MIDI system silences whatever still sounds through them.
void CloseDevicesAtExit();
