#include "early_key_ledger.h"

#include <utility>

namespace {
bool Same(const RawKeyEvent& a, const RawKeyEvent& b) {
  return a.press == b.press && a.keycode == b.keycode && a.time == b.time;
}
}  // namespace

void EarlyKeyLedger::Push(Entry entry) {
  if (entry.kind == Kind::Other) {
    otherAfterLastKey_ = true;
  } else {
    lastKey_ = entry.event;
    otherAfterLastKey_ = false;
  }
  // Once full, nothing more is recorded until everything seen has been handled.
  if (overflowed_ || count_ == Capacity) {
    overflowed_ = true;
    return;
  }
  if (Blocks(entry)) ++blocking_;
  At(count_++) = std::move(entry);
}

void EarlyKeyLedger::RecordPlayed(const RawKeyEvent& event, std::exception_ptr failure) {
  Push({Kind::PlayedAhead, event, std::move(failure)});
}

void EarlyKeyLedger::RecordLeft(const RawKeyEvent& event) { Push({Kind::Left, event, nullptr}); }

void EarlyKeyLedger::RecordOtherInput() {
  // One mark stands for any run of other input.
  if (!overflowed_ && count_ > 0 && At(count_ - 1).kind == Kind::Other) return;
  Push({Kind::Other, {}, nullptr});
}

void EarlyKeyLedger::RecordKeyboardLost() {
  RecordOtherInput();
  if (overflowed_) {
    lossUnrecorded_ = true;
  } else {
    At(count_ - 1).keyboardLost = true;
  }
}

void EarlyKeyLedger::DropFront(std::size_t count, std::exception_ptr& failure) {
  for (std::size_t i = 0; i < count; ++i) {
    Entry& entry = At(0);
    if (Blocks(entry)) --blocking_;
    if (entry.failure && !failure) failure = std::move(entry.failure);
    entry = Entry{};
    first_ = (first_ + 1) % Capacity;
    --count_;
  }
}

EarlyKeyLedger::Delivery EarlyKeyLedger::Deliver(const RawKeyEvent& event) {
  Delivery delivery;
  std::size_t index = 0;
  while (index < count_ && (At(index).kind == Kind::Other || !Same(At(index).event, event))) {
    ++index;
  }
  delivery.keyboardLostSince = lossUnrecorded_;
  if (index < count_) {
    for (std::size_t later = index + 1; later < count_; ++later) {
      if (At(later).keyboardLost) delivery.keyboardLostSince = true;
    }
    DropFront(index, delivery.earlierFailure);
    delivery.playedAhead = At(0).kind == Kind::PlayedAhead;
    DropFront(1, delivery.failure);
  }
  if (overflowed_ && Same(event, lastKey_) && !otherAfterLastKey_) {
    // The last key seen, and nothing after it: all input seen is handled.
    DropFront(count_, delivery.earlierFailure);
    overflowed_ = lossUnrecorded_ = false;
  }
  // Any other key event unknown here was made by the toolkit itself, and is its to play.
  return delivery;
}
