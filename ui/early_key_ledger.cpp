#include "early_key_ledger.h"

#include <utility>

namespace {
bool Same(const RawKeyEvent& a, const RawKeyEvent& b) {
  return a.press == b.press && a.keycode == b.keycode && a.time == b.time;
}
}  // namespace

void EarlyKeyLedger::ExpectKeyThread(bool expected) {
  keyThread_ = expected;
  DropFinished();
}

bool EarlyKeyLedger::Blocks(const Entry& entry) {
  return !entry.done && (entry.kind != Kind::PlayedAhead || entry.failure);
}

bool EarlyKeyLedger::MayPlayAhead() const {
  if (full_) return false;
  for (std::size_t i = 0; i < count_; ++i) {
    if (Blocks(At(i))) return false;
  }
  return true;
}

EarlyKeyLedger::Entry* EarlyKeyLedger::Push(Kind kind) {
  if (count_ == Capacity) {
    // Nothing is lost by playing every later key the toolkit's way, in order.
    full_ = true;
    return nullptr;
  }
  Entry& entry = At(count_++);
  entry = Entry{};
  entry.kind = kind;
  return &entry;
}

EarlyKeyLedger::Sight EarlyKeyLedger::See(KeyReader reader, const RawKeyEvent& event,
                                          bool playable) {
  justPlayed_ = false;
  const bool byToolkit = reader == KeyReader::Toolkit;
  std::size_t index = 0;
  for (; index < count_; ++index) {
    Entry& entry = At(index);
    if (entry.kind == Kind::Other) continue;
    bool& seen = byToolkit ? entry.seenByToolkit : entry.seenByKeyThread;
    if (seen) continue;
    // Both readers get the window's key events in one order: what this reader has not
    // seen before the event it sees now, it never will (it went elsewhere for it).
    seen = true;
    if (Same(entry.event, event)) break;
  }
  if (index < count_) {
    DropFinished();
    return Sight::Known;
  }
  // Seen first: the other reader will find it here.
  const bool play = playable && MayPlayAhead();
  Entry* entry = Push(play ? Kind::PlayedAhead : Kind::Left);
  if (entry == nullptr) return Sight::Leave;
  entry->event = event;
  entry->seenByToolkit = byToolkit;
  entry->seenByKeyThread = !byToolkit;
  justPlayed_ = play;
  DropFinished();
  return play ? Sight::Play : Sight::Leave;
}

void EarlyKeyLedger::HoldDrawing(std::uint8_t note, bool down) {
  if (!justPlayed_) return;
  Entry& entry = At(count_ - 1);
  entry.drawNote = note;
  entry.drawDown = down;
}

void EarlyKeyLedger::Fail(std::exception_ptr failure) {
  if (!justPlayed_) return;
  At(count_ - 1).failure = std::move(failure);
}

void EarlyKeyLedger::RecordOtherInput() {
  justPlayed_ = false;
  // One mark stands for any run of other input not yet done with.
  if (count_ > 0 && At(count_ - 1).kind == Kind::Other && !At(count_ - 1).done) return;
  if (Entry* entry = Push(Kind::Other)) {
    entry->seenByToolkit = true;
    entry->seenByKeyThread = true;
  }
}

void EarlyKeyLedger::Finish(Entry& entry) {
  if (entry.done) return;
  entry.done = true;
  // A key played ahead that never reached the key handler still reports its failure.
  if (entry.failure && !droppedFailure_) droppedFailure_ = std::exchange(entry.failure, nullptr);
}

EarlyKeyLedger::Delivery EarlyKeyLedger::Deliver(const RawKeyEvent& event) {
  justPlayed_ = false;
  std::size_t index = 0;
  for (; index < count_; ++index) {
    const Entry& entry = At(index);
    if (entry.kind != Kind::Other && entry.seenByToolkit && !entry.done &&
        Same(entry.event, event)) {
      break;
    }
  }
  // A key event not seen first (sent by the toolkit itself) is its own to play.
  if (index == count_) return {};
  for (std::size_t i = 0; i < index; ++i) Finish(At(i));
  Entry& entry = At(index);
  Delivery delivery;
  delivery.playedAhead = entry.kind == Kind::PlayedAhead;
  delivery.drawNote = entry.drawNote;
  delivery.drawDown = entry.drawDown;
  delivery.failure = std::exchange(entry.failure, nullptr);
  entry.done = true;
  DropFinished();
  return delivery;
}

void EarlyKeyLedger::DropFinished() {
  while (count_ > 0) {
    Entry& entry = At(0);
    if (!entry.done || (keyThread_ && !entry.seenByKeyThread)) return;
    entry = Entry{};
    first_ = (first_ + 1) % Capacity;
    --count_;
  }
}

std::exception_ptr EarlyKeyLedger::TakeDroppedFailure() {
  return std::exchange(droppedFailure_, nullptr);
}
