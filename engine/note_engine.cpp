#include "note_engine.h"

#include <exception>

#include "app_error.h"
#include "key_map.h"
#include "keyboard_config.h"
#include "midi_devices.h"

std::array<std::uint8_t, 256> PressedNotes{};
std::array<std::uint8_t, 128> PointerHolds{};
std::uint32_t ReleasesOfAll = 0;

namespace {

NoteDisplay* Display = nullptr;

constexpr std::int32_t NoteOffBase = 0x7F;
constexpr std::int32_t NoteOnBase = 0x8F;
constexpr std::int32_t ProgramChangeBase = 0xBF;

// Status and data values are formed from the stored settings without masking; one that
// does not fit a byte stops the operation at the message that would carry it.
std::uint8_t CheckedByte(std::int32_t value) {
  if (value < 0 || value > 255) throw AppError("Range check error");
  return static_cast<std::uint8_t>(value);
}

void Send(std::int32_t device, std::int32_t status, std::int32_t data1, std::int32_t data2) {
  const std::uint8_t statusByte = CheckedByte(status);
  const std::uint8_t data1Byte = CheckedByte(data1);
  const std::uint8_t data2Byte = CheckedByte(data2);
  MidiOutput().SendShort(device, statusByte, data1Byte, data2Byte);
}

// One output of the configuration: the device, its channel and instrument, and whether
// a note-on that opens it sends the instrument's program change.
struct Output {
  std::int32_t Device;
  std::int32_t Channel;
  std::int32_t Instrument;
  bool ProgramOnOpen;
};

// Serves the recording output and then the playing output when it is another device. A
// failure ends the serving where it happens (a failing recording device: the playing
// device gets nothing), except for note-offs (everyDevice): a note-off that never reaches
// a device that got the note-on leaves a stuck note, so every device is served and the
// first failure is raised afterwards.
template <typename Serve>
void ForEachOutput(bool everyDevice, const Serve& serve) {
  const std::int32_t recording = Config.RecordingDevice;
  const std::int32_t playing = Config.PlayingDevice;
  std::exception_ptr firstFailure;
  const auto attempt = [&](const Output& output) {
    if (!everyDevice) return serve(output);
    try {
      serve(output);
    } catch (...) {
      if (!firstFailure) firstFailure = std::current_exception();
    }
  };
  if (recording >= 0) {
    attempt({recording, Config.RecordingChannel, Config.RecordingInstrument,
             Config.RecordingInstrument >= 0});
  }
  if (playing >= 0 && playing != recording) {
    // A playing instrument of 0 sends no program change, unlike the recording one.
    attempt(
        {playing, Config.PlayingChannel, Config.PlayingInstrument, Config.PlayingInstrument > 0});
  }
  if (firstFailure) std::rethrow_exception(firstFailure);
}

// Runs the sending, then the drawing: the drawing happens whether or not a device failed,
// so that the picture shows what was done before the failure.
template <typename Sending, typename Drawing>
void SendThenDraw(const Sending& sending, const Drawing& drawing) {
  try {
    sending();
  } catch (...) {
    if (Display != nullptr) drawing();
    throw;
  }
  if (Display != nullptr) drawing();
}

}  // namespace

void SetNoteDisplay(NoteDisplay* display) { Display = display; }

NoteDisplay* CurrentNoteDisplay() { return Display; }

bool IsMidiNote(std::int32_t n) { return n >= 0 && n <= 127; }

void WarnNoDevices() {
  if (Display == nullptr) return;
  Display->FormPaint();
  Display->ShowNoDevicesWarning();
}

void FormKeyDown(std::uint16_t key) {
  if (Config.RecordingDevice < 0 && Config.PlayingDevice < 0) {
    WarnNoDevices();
    return;
  }
  if (key == VK_SPACE) {
    AllNotesOff();
  } else if (key >= VK_F1 && key <= VK_F9) {
    SetOctave(static_cast<std::uint8_t>(key - VK_F1));
  } else {
    const std::int32_t n = LookupNote(key) + 12 * static_cast<std::int32_t>(Config.Octave);
    if (IsMidiNote(n)) NoteOn(n);
  }
}

void FormKeyUp(std::uint16_t key) {
  const std::int32_t n = LookupNote(key) + 12 * static_cast<std::int32_t>(Config.Octave);
  if (IsMidiNote(n)) NoteOff(n);
}

namespace {

bool Sounding(std::int32_t note) {
  const auto index = static_cast<std::size_t>(note);
  return PressedNotes[index] != 0 || PointerHolds[index] != 0;
}

// The note starts on the devices, then its key is drawn down.
void StartNote(std::int32_t note) {
  // The note leaves before the key is drawn: painting takes longer than sending, and the
  // picture follows a moment later. A failing device still leaves the key highlighted.
  SendThenDraw(
      [note] {
        ForEachOutput(false, [note](const Output& output) {
          TMidiOutput& devices = MidiOutput();
          // A device opened by a note-on gets its program change first.
          if (devices.DeviceHandle(output.Device) == nullptr) {
            devices.OpenDevice(output.Device);
            if (output.ProgramOnOpen) {
              Send(output.Device, ProgramChangeBase + output.Channel, output.Instrument, 0);
            }
          }
          Send(output.Device, NoteOnBase + output.Channel, note, NoteVelocity);
        });
      },
      [note] { Display->DrawKeyDown(static_cast<std::uint8_t>(note)); });
}

void EndNote(std::int32_t note) {
  SendThenDraw(
      [note] {
        ForEachOutput(true, [note](const Output& output) {
          // A closed device has ended every note it played when it closed: the note-off
          // does not open it again (so the next note-on opens it, with its program change).
          if (!MidiOutput().IsOpen(output.Device)) return;
          Send(output.Device, NoteOffBase + output.Channel, note, NoteVelocity);
        });
      },
      [note] { Display->DrawKeyUp(static_cast<std::uint8_t>(note)); });
}

// The holders of every note are forgotten: keys and pointers alike.
void ForgetHolders() {
  PressedNotes.fill(0);
  PointerHolds.fill(0);
  ++ReleasesOfAll;
}

}  // namespace

void NoteOn(std::int32_t note) {
  if (!IsMidiNote(note)) return;
  const auto index = static_cast<std::size_t>(note);
  if (PressedNotes[index] != 0) return;
  const bool sounding = Sounding(note);
  PressedNotes[index] = 1;
  if (!sounding) StartNote(note);  // else a pointer holds it: one note
}

void NoteOff(std::int32_t note) {
  if (!IsMidiNote(note)) return;
  PressedNotes[static_cast<std::size_t>(note)] = 0;
  if (!Sounding(note)) EndNote(note);  // else a pointer still holds it
}

void PointerNoteOn(std::int32_t note) {
  if (!IsMidiNote(note)) return;
  const auto index = static_cast<std::size_t>(note);
  const bool sounding = Sounding(note);
  if (PointerHolds[index] < 255) ++PointerHolds[index];
  if (!sounding) StartNote(note);
}

void PointerNoteOff(std::int32_t note) {
  if (!IsMidiNote(note)) return;
  const auto index = static_cast<std::size_t>(note);
  if (PointerHolds[index] == 0) return;  // ended meanwhile, with every other note
  --PointerHolds[index];
  if (!Sounding(note)) EndNote(note);
}

void AllNotesOff() {
  MidiOutput().CloseAll();
  ForgetHolders();
  if (Display != nullptr) Display->FormPaint();
}

void SetOctave(std::uint8_t octave) {
  AllNotesOff();
  Config.Octave = octave;
  if (Display != nullptr) Display->RebuildOctaveMenu();
}

void OctaveChosen(int position) {
  Config.Octave = static_cast<std::uint8_t>(position);
  AllNotesOff();
}

void ReleasePressedNotes() {
  // Every held note is released even when a device fails; the first failure is raised
  // once everything has been tried.
  std::array<bool, 128> held{};
  for (std::int32_t n = 0; n <= 127; ++n) held[static_cast<std::size_t>(n)] = Sounding(n);
  ForgetHolders();
  std::exception_ptr firstFailure;
  for (std::int32_t n = 0; n <= 127; ++n) {
    if (!held[static_cast<std::size_t>(n)]) continue;
    try {
      EndNote(n);
    } catch (...) {
      if (!firstFailure) firstFailure = std::current_exception();
    }
  }
  if (firstFailure) std::rethrow_exception(firstFailure);
}

void CloseDevicesAtExit() {
  if (MidiOutputExists()) MidiOutput().CloseAll();
}
