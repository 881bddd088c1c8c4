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

// The input the program has read from the window system and the toolkit has still to
// deliver, in order: key events of the window played at once ("ahead"), key events left
// to the toolkit, and other input (clicks, focus changes, keys of other windows) that may
// change where the keys go.
//
// A key may be played ahead only when nothing before it is still to be handled by the
// toolkit: no key left to it, no other input, no failure still to be reported. Then the
// notes keep the order of the keys. When the toolkit delivers a key event to the window,
// the entries up to it are done with (earlier ones it delivered elsewhere, or not at all,
// are dropped), and whether it was played ahead says whether it must not play again.
//
// No allocation: a fixed ring. Should it fill (the toolkit has delivered nothing to the
// window for that long), the keys after it take the toolkit's way until the last key seen
// reaches the window with no other input behind it: then everything seen is handled. A
// loss of the keyboard meanwhile counts for every press delivered until then.
class EarlyKeyLedger {
 public:
  static constexpr std::size_t Capacity = 128;

  // What the delivery of a key event to the window brings with it.
  struct Delivery {
    bool playedAhead = false;  // it must not be played again
    // The window lost the keyboard after this key event (its held notes ended then): a
    // press is played no more, its release went elsewhere.
    bool keyboardLostSince = false;
    std::exception_ptr failure;         // of its own playing ahead
    std::exception_ptr earlierFailure;  // of an earlier key played ahead that never came
  };

  bool MayPlayAhead() const { return blocking_ == 0 && !overflowed_; }
  // A key event of the window played ahead; failure: what its playing raised, reported at
  // its delivery (no key is played ahead before that).
  void RecordPlayed(const RawKeyEvent& event, std::exception_ptr failure = nullptr);
  // A key event of the window left to the toolkit.
  void RecordLeft(const RawKeyEvent& event);
  // Input other than a key of the window: holds the keys after it back until a later key
  // event reaches the window (the toolkit delivers in order, so this input was handled).
  void RecordOtherInput();
  // The window's loss of the keyboard, handled as it is read: other input that the key
  // events before it, still to be delivered, must know of.
  void RecordKeyboardLost();
  Delivery Deliver(const RawKeyEvent& event);
  bool Empty() const { return count_ == 0; }
  bool Full() const { return overflowed_; }

 private:
  enum class Kind : std::uint8_t { PlayedAhead, Left, Other };
  struct Entry {
    Kind kind = Kind::Left;
    RawKeyEvent event;
    std::exception_ptr failure;
    bool keyboardLost = false;  // of other input
  };
  static bool Blocks(const Entry& entry) {
    return entry.kind != Kind::PlayedAhead || entry.failure != nullptr;
  }
  Entry& At(std::size_t index) { return entries_[(first_ + index) % Capacity]; }
  const Entry& At(std::size_t index) const { return entries_[(first_ + index) % Capacity]; }
  void Push(Entry entry);
  // Drops the first count entries; the first failure among them goes to failure.
  void DropFront(std::size_t count, std::exception_ptr& failure);

  std::array<Entry, Capacity> entries_{};
  std::size_t first_ = 0;
  std::size_t count_ = 0;
  std::size_t blocking_ = 0;  // entries that hold playing ahead back
  bool overflowed_ = false;   // input came that the ring had no room for
  RawKeyEvent lastKey_;       // the last key event seen, and whether other input followed
  bool otherAfterLastKey_ = false;
  bool lossUnrecorded_ = false;  // the keyboard went while the ring was full
};
