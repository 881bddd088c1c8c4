#include "notes_ended_at_close.h"

#include <map>
#include <utility>

#include "short_message.h"

namespace {

class NotesEndedAtClose final : public MidiSystem {
 public:
  explicit NotesEndedAtClose(std::unique_ptr<MidiSystem> inner) : inner_(std::move(inner)) {}

  std::uint32_t DeviceCount() override { return inner_->DeviceCount(); }
  MidiResult DeviceName(std::uint32_t id, std::string& name) override {
    return inner_->DeviceName(id, name);
  }
  MidiResult Open(std::uint32_t id, MidiHandle& handle) override {
    const MidiResult result = inner_->Open(id, handle);
    if (result == MMSYSERR_NOERROR) sounding_[handle] = SoundingNotes{};
    return result;
  }
  MidiResult ShortMessage(MidiHandle handle, std::uint32_t message) override {
    const MidiResult result = inner_->ShortMessage(handle, message);
    const auto notes = sounding_.find(handle);
    if (result == MMSYSERR_NOERROR && notes != sounding_.end()) {
      notes->second.Sent(ShortMessageEvent(message));
    }
    return result;
  }
  MidiResult Close(MidiHandle handle) override {
    // Every note-off is tried, whatever the one before it gave.
    if (const auto notes = sounding_.find(handle); notes != sounding_.end()) {
      notes->second.EndAll([&](const MidiEvent& noteOff) {
        inner_->ShortMessage(handle, noteOff.Bytes[0] + noteOff.Bytes[1] * 0x100u);
      });
    }
    const MidiResult result = inner_->Close(handle);
    if (result == MMSYSERR_NOERROR) sounding_.erase(handle);
    return result;
  }
  MidiResult ErrorText(MidiResult code, std::string& text) override {
    return inner_->ErrorText(code, text);
  }
  void Prepare(std::uint32_t id) override { inner_->Prepare(id); }
  bool Ready() override { return inner_->Ready(); }
  void CallWhenReady(std::function<void()> whenReady) override {
    inner_->CallWhenReady(std::move(whenReady));
  }

 private:
  std::unique_ptr<MidiSystem> inner_;
  std::map<MidiHandle, SoundingNotes> sounding_;
};

}  // namespace

std::unique_ptr<MidiSystem> EndingNotesAtClose(std::unique_ptr<MidiSystem> inner) {
  return std::make_unique<NotesEndedAtClose>(std::move(inner));
}
