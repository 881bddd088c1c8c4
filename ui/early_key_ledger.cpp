#include "early_key_ledger.h"

#include <utility>

namespace {
bool Same(const RawKeyEvent& a, const RawKeyEvent& b) {
  return a.press == b.press && a.keycode == b.keycode && a.time == b.time;
}
}  // namespace

bool EarlyKeyLedger::MayPlayAhead() const { return blocking_ == 0 && !full_; }

EarlyKeyLedger::Entry* EarlyKeyLedger::Push(Kind kind) {
  if (count_ == Capacity) {
    // Nothing is lost by playing every later key the toolkit's way, in order.
    full_ = true;
    return nullptr;
  }
  Entry& entry = At(count_++);
  entry = Entry{};
  entry.kind = kind;
  if (kind != Kind::PlayedAhead) ++blocking_;
  return &entry;
}

void EarlyKeyLedger::PopFront() {
  Entry& entry = At(0);
  if (entry.kind != Kind::PlayedAhead || entry.failure) --blocking_;
  if (entry.failure && !droppedFailure_) droppedFailure_ = entry.failure;
  entry = Entry{};
  first_ = (first_ + 1) % Capacity;
  --count_;
}

void EarlyKeyLedger::Record(const RawKeyEvent& event, bool played) {
  if (Entry* entry = Push(played ? Kind::PlayedAhead : Kind::Left)) entry->event = event;
}

void EarlyKeyLedger::HoldDrawing(std::uint8_t note, bool down) {
  if (count_ == 0 || full_) return;
  Entry& entry = At(count_ - 1);
  entry.drawNote = note;
  entry.drawDown = down;
}

void EarlyKeyLedger::Fail(std::exception_ptr failure) {
  if (count_ == 0 || full_) return;
  Entry& entry = At(count_ - 1);
  if (entry.kind != Kind::PlayedAhead) return;
  if (!entry.failure) ++blocking_;
  entry.failure = std::move(failure);
}

void EarlyKeyLedger::RecordOtherInput() {
  // One mark stands for any run of other input.
  if (count_ > 0 && At(count_ - 1).kind == Kind::Other) return;
  Push(Kind::Other);
}

EarlyKeyLedger::Delivery EarlyKeyLedger::Deliver(const RawKeyEvent& event) {
  std::size_t index = 0;
  while (index < count_ && !(At(index).kind != Kind::Other && Same(At(index).event, event))) {
    ++index;
  }
  // A key event not seen first (sent by the toolkit itself) is its own to play.
  if (index == count_) return {};
  for (std::size_t i = 0; i < index; ++i) PopFront();
  Entry& entry = At(0);
  Delivery delivery;
  delivery.playedAhead = entry.kind == Kind::PlayedAhead;
  delivery.drawNote = entry.drawNote;
  delivery.drawDown = entry.drawDown;
  delivery.failure = std::exchange(entry.failure, nullptr);
  if (delivery.failure) --blocking_;
  PopFront();
  return delivery;
}

std::exception_ptr EarlyKeyLedger::TakeDroppedFailure() {
  return std::exchange(droppedFailure_, nullptr);
}
