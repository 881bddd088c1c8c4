#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The pointers that play the keyboard picture: the mouse and every touch point, each known
// by an id of the window system's. A pointer pressed on a key plays that key's note (its
// relative key + 12 x the base octave) on the configured devices, as a computer key playing
// the same note would; moved onto another key it ends its note and plays that one (a
// glide); lifted, or moved off the keys, it ends its note. When every note is ended at
// once (all notes off, the window losing the keyboard), a pointer held since plays nothing
// more until it is pressed again. No allocation.
class PicturePointers {
 public:
  static constexpr std::size_t Capacity = 16;
  static constexpr std::int64_t Mouse = -1;  // touch points have ids of 0 and up

  // relativeKey: the picture's key under the pointer (0..35), or -1 off the keys. With no
  // device configured, a press gives the same warning as a key, and the pointer plays
  // nothing until it is pressed again.
  void Press(std::int64_t id, std::int32_t relativeKey);
  void Move(std::int64_t id, std::int32_t relativeKey);
  void Release(std::int64_t id);
  // Every pointer is gone (the window lost the mouse, a touch sequence was cancelled).
  void ReleaseAll();
  bool Any() const;

 private:
  struct Pointer {
    bool Used = false;
    std::int64_t Id = 0;
    std::int32_t Note = -1;      // the absolute note it holds, -1 for none
    std::uint32_t Releases = 0;  // ReleasesOfAll when it was pressed
  };
  Pointer* Find(std::int64_t id);
  static void Hold(Pointer& pointer, std::int32_t relativeKey);

  std::array<Pointer, Capacity> pointers_{};
};
