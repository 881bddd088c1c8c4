#pragma once

#include <cstdint>
#include <memory>

// What the key thread reads, handed on on that thread.
class EarlyKeySink {
 public:
  virtual ~EarlyKeySink() = default;
  // A key event of the window: press or release, XKB keycode, server time, modifier
  // state, and whether another client sent it (not the keyboard).
  virtual void KeyThreadKey(bool press, std::uint32_t keycode, std::uint32_t time,
                            std::uint16_t state, bool sent) = 0;
  // A click or touch anywhere, or the window's focus moving: keys after it may go
  // elsewhere until the toolkit has handled it.
  virtual void KeyThreadOtherInput() = 0;
  // Nothing more comes: the connection could not be made as needed, or is gone.
  virtual void KeyThreadEnded() = 0;
};

// Reads the key events of one window on an X connection and a thread of its own, so that
// a key is played as soon as the X server sends it: the toolkit reads its events on a
// thread of its own too and hands them on to the GUI thread, a second wake-up on the way.
// The thread asks for real-time priority (the lowest), which it gets where the user may
// have it (as for the MIDI server), and goes on without it elsewhere.
class EarlyKeyThread {
 public:
  // On the display of xlibDisplay (the toolkit's Xlib Display), for window; the thread
  // makes its connection itself. It ends at once (KeyThreadEnded) when that cannot be had:
  // no such display or window, no XInput 2.2 (without it the clicks that may move the keys
  // elsewhere are not seen) or no detectable auto-repeat. Null when no thread could start.
  static std::unique_ptr<EarlyKeyThread> Start(void* xlibDisplay, std::uint32_t window,
                                               EarlyKeySink& sink);
  struct State;
  explicit EarlyKeyThread(std::unique_ptr<State> state);  // see Start
  ~EarlyKeyThread();                                      // stops the thread and waits for it
  EarlyKeyThread(const EarlyKeyThread&) = delete;
  EarlyKeyThread& operator=(const EarlyKeyThread&) = delete;

 private:
  std::unique_ptr<State> state_;
};
