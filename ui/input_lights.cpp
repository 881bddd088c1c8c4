// The keys that other programs play into the program's MIDI input, lit on the picture.
#include <QTimer>

#include "main_window.h"
#include "midi_input.h"

namespace {
// Often enough that a lit key follows its note within a frame or so, seldom enough to cost
// nothing while no one plays.
constexpr int kLookEveryMs = 15;
}  // namespace

void TForm1::WatchIncomingMidi() {
#ifdef _WIN32
  return;  // WinMM makes no port that other programs could play into: nothing ever arrives
#endif
  auto* timer = new QTimer(this);
  timer->setObjectName("IncomingMidiTimer");
  connect(timer, &QTimer::timeout, this, &TForm1::TakeIncomingMidi);
  timer->start(kLookEveryMs);
}

void TForm1::TakeIncomingMidi() {
  QRect changed;
  const auto draw = [this, &changed](std::uint8_t note, bool lit) {
    if (shownPlayed_.test(note)) return;  // a key both played and lit shows as played
    changed = changed.united(DrawOnSurface(note, lit ? KeyLook::Lit : KeyLook::Up));
  };
  const bool senderGone =
      IncomingMidi().Drain([this, &draw](const MidiEvent& event) { incoming_.Take(event, draw); });
  if (senderGone) incoming_.PutOutAll(draw);
  // One repaint for everything that arrived together.
  RepaintFromSurface(changed);
}
