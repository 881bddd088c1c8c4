#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>

// A key event as the X server sends it: what the window system hands the program first,
// and what the toolkit's key event for it carries again later (press or release, the
// keycode, the server time).
struct RawKeyEvent {
  bool press = false;
  std::uint32_t keycode = 0;
  std::uint32_t time = 0;
};

// The input the program has seen from the window system before the toolkit delivered it,
// in order: key events it played at once ("ahead"), key events it left to the toolkit,
// and other input (clicks, focus changes) that may change where the keys go.
//
// A key may be played ahead only when everything seen before it was played ahead too:
// then nothing the toolkit has still to deliver can come between, and the notes keep the
// order of the keys. When the toolkit delivers a key event, the entries up to it are done
// with (earlier ones it never delivered are dropped), and whether it was played ahead
// says whether it must not play again. No allocation: a fixed ring; should it ever fill,
// nothing more is played ahead.
class EarlyKeyLedger {
 public:
  static constexpr std::size_t Capacity = 256;

  // What the delivery of a key event brings with it: whether it was played ahead, the key
  // highlight held back until now (note -1: none), and a failure of the playing to report.
  struct Delivery {
    bool playedAhead = false;
    std::int16_t drawNote = -1;
    bool drawDown = false;
    std::exception_ptr failure;
  };

  bool MayPlayAhead() const;
  // Records a key event seen; played: it was played ahead. A failure of that playing is
  // given with Fail; nothing is played ahead until its entry is delivered.
  void Record(const RawKeyEvent& event, bool played);
  // The key highlight the last recorded event holds back for its delivery.
  void HoldDrawing(std::uint8_t note, bool down);
  void Fail(std::exception_ptr failure);
  // Input other than a key of the window: blocks playing ahead until a later key event is
  // delivered (the toolkit delivers in order, so by then this input was handled too).
  void RecordOtherInput();
  Delivery Deliver(const RawKeyEvent& event);
  // Failures of entries dropped undelivered, to be reported all the same.
  std::exception_ptr TakeDroppedFailure();
  bool Empty() const { return count_ == 0; }

 private:
  enum class Kind : std::uint8_t { PlayedAhead, Left, Other };
  struct Entry {
    Kind kind = Kind::Left;
    RawKeyEvent event;
    std::int16_t drawNote = -1;
    bool drawDown = false;
    std::exception_ptr failure;
  };
  Entry& At(std::size_t index) { return entries_[(first_ + index) % Capacity]; }
  const Entry& At(std::size_t index) const { return entries_[(first_ + index) % Capacity]; }
  Entry* Push(Kind kind);
  void PopFront();

  std::array<Entry, Capacity> entries_{};
  std::size_t first_ = 0;
  std::size_t count_ = 0;
  // Entries that stop playing ahead: left keys, other input, failures.
  std::size_t blocking_ = 0;
  bool full_ = false;
  std::exception_ptr droppedFailure_;
};
