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

// Who reads the window's key events from the X server: the toolkit's own connection
// (read on the GUI thread before the toolkit delivers them), and the key thread's
// connection of its own. Both get the same key events of the window in the same order,
// each at its own pace.
enum class KeyReader : std::uint8_t { Toolkit, KeyThread };

// The input the program has seen from the window system before the toolkit delivered it,
// in order: key events played at once ("ahead"), key events left to the toolkit, and
// other input (clicks, focus changes) that may change where the keys go.
//
// Whichever reader sees a key event first decides it, once: it may play it ahead only when
// everything seen before it was played ahead too; then nothing the toolkit has still to
// deliver can come between, and the notes keep the order of the keys. The other reader,
// seeing it later, leaves it alone. When the toolkit delivers a key event, the entries up
// to it are done with (earlier ones it never delivered are dropped), and whether it was
// played ahead says whether it must not play again. An entry is kept until the key thread
// has seen it as well (or a later event), so that a key thread running behind the toolkit
// never takes a delivered key for a new one. No allocation: a fixed ring; should it ever
// fill, nothing more is played ahead.
//
// Not locked: the program calls it under its state lock.
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

  // What a reader is to do with a key event it sees.
  enum class Sight : std::uint8_t {
    Play,   // seen first, and its turn: play it now (HoldDrawing / Fail follow)
    Leave,  // seen first, not to be played ahead: the toolkit plays it on delivery
    Known,  // the other reader saw it first and decided it
  };

  // Whether the key thread reads the window's keys too (entries then wait for it).
  void ExpectKeyThread(bool expected);
  bool MayPlayAhead() const;
  // A key event of the window seen by reader; playable: the reader would play it ahead if
  // it is its turn.
  Sight See(KeyReader reader, const RawKeyEvent& event, bool playable);
  // The key highlight the event just played holds back for its delivery.
  void HoldDrawing(std::uint8_t note, bool down);
  // A failure of playing the event just played; nothing is played ahead until its entry
  // is delivered.
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
    bool seenByToolkit = false;
    bool seenByKeyThread = false;
    // The toolkit delivered it, or a later event: it holds nothing back any more.
    bool done = false;
    std::int16_t drawNote = -1;
    bool drawDown = false;
    std::exception_ptr failure;
  };
  Entry& At(std::size_t index) { return entries_[(first_ + index) % Capacity]; }
  const Entry& At(std::size_t index) const { return entries_[(first_ + index) % Capacity]; }
  static bool Blocks(const Entry& entry);
  Entry* Push(Kind kind);
  void Finish(Entry& entry);
  void DropFinished();

  std::array<Entry, Capacity> entries_{};
  std::size_t first_ = 0;
  std::size_t count_ = 0;
  // The last answer was Play: HoldDrawing and Fail go to the last entry (a new one is not
  // done, so nothing drops it meanwhile).
  bool justPlayed_ = false;
  bool keyThread_ = false;
  bool full_ = false;
  std::exception_ptr droppedFailure_;
};
