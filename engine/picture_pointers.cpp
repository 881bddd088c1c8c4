#include "picture_pointers.h"

#include <exception>

#include "keyboard_config.h"
#include "note_engine.h"

PicturePointers::Pointer* PicturePointers::Find(std::int64_t id) {
  for (Pointer& pointer : pointers_) {
    if (pointer.Used && pointer.Id == id) return &pointer;
  }
  return nullptr;
}

bool PicturePointers::Any() const {
  for (const Pointer& pointer : pointers_) {
    if (pointer.Used) return true;
  }
  return false;
}

void PicturePointers::Hold(Pointer& pointer, std::int32_t relativeKey) {
  // Every note was ended since the pointer went down: it plays no more.
  if (pointer.Releases != ReleasesOfAll) {
    pointer.Note = -1;
    return;
  }
  const std::int32_t note =
      relativeKey < 0 ? -1 : relativeKey + 12 * static_cast<std::int32_t>(Config.Octave);
  if (note == pointer.Note) return;
  const std::int32_t left = pointer.Note;
  // The state goes first: a failing device leaves the pointer where it is.
  pointer.Note = -1;
  if (left >= 0) PointerNoteOff(left);
  if (note >= 0) {
    pointer.Note = note;
    PointerNoteOn(note);
  }
}

void PicturePointers::Press(std::int64_t id, std::int32_t relativeKey) {
  Release(id);  // a press the window system never ended
  if (Config.RecordingDevice < 0 && Config.PlayingDevice < 0) {
    WarnNoDevices();
    return;
  }
  for (Pointer& pointer : pointers_) {
    if (pointer.Used) continue;
    pointer = {true, id, -1, ReleasesOfAll};
    Hold(pointer, relativeKey);
    return;
  }
  // More fingers than pointers kept: the extra ones play nothing.
}

void PicturePointers::Move(std::int64_t id, std::int32_t relativeKey) {
  if (Pointer* pointer = Find(id)) Hold(*pointer, relativeKey);
}

void PicturePointers::Release(std::int64_t id) {
  Pointer* pointer = Find(id);
  if (pointer == nullptr) return;
  pointer->Used = false;
  const std::int32_t note = pointer->Note;
  if (note >= 0 && pointer->Releases == ReleasesOfAll) PointerNoteOff(note);
}

void PicturePointers::ReleaseAll() {
  // A failing device keeps no other pointer from ending its note.
  std::exception_ptr firstFailure;
  for (Pointer& pointer : pointers_) {
    if (!pointer.Used) continue;
    try {
      Release(pointer.Id);
    } catch (...) {
      if (!firstFailure) firstFailure = std::current_exception();
    }
  }
  if (firstFailure) std::rethrow_exception(firstFailure);
}
