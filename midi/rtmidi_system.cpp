#include "rtmidi_system.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "combined_midi_system.h"
#include "failure_texts.h"
#include "port_names.h"
#include "short_message.h"

#ifdef TESSIVAR_HAVE_ALSA
#include "sequencer_announcements.h"
#endif
#ifdef TESSIVAR_HAVE_JACK
#include "jack_midi_system.h"
#endif

namespace {

constexpr char kClientName[] = "Tessivar";
constexpr char kOutputPortName[] = "output";

// What RtMidi reported last through the error callback of one output.
struct ErrorSink {
  bool Failed = false;
  RtMidiError::Type Type = RtMidiError::UNSPECIFIED;
  std::string Message;
};

void RecordError(RtMidiError::Type type, const std::string& message, void* data) {
  if (type == RtMidiError::DEBUG_WARNING) return;
  auto* sink = static_cast<ErrorSink*>(data);
  sink->Failed = true;
  sink->Type = type;
  sink->Message = message;
}

// The result code of a back-end error; a warning means the port did not take the
// request (open: the port is gone; send: the message was dropped).
MidiResult CodeOf(RtMidiError::Type type, MidiResult forWarning) {
  switch (type) {
    case RtMidiError::WARNING:
    case RtMidiError::DEBUG_WARNING:
      return forWarning;
    case RtMidiError::NO_DEVICES_FOUND:
    case RtMidiError::INVALID_DEVICE:
      return MIDIERR_NODEVICE;
    case RtMidiError::MEMORY_ERROR:
      return MMSYSERR_NOMEM;
    case RtMidiError::INVALID_PARAMETER:
    case RtMidiError::INVALID_USE:
      return MMSYSERR_INVALPARAM;
    default:
      return MMSYSERR_ERROR;
  }
}

// One RtMidi output client. Errors come to the sink instead of being thrown or printed.
class Output {
 public:
  // Throws RtMidiError when the back end refuses the client outright.
  explicit Output(RtMidi::Api api) : out_(api, kClientName) {
    out_.setErrorCallback(&RecordError, &sink_);
    // A client that cannot reach its back end says so here.
    out_.getPortCount();
    reachable_ = !sink_.Failed;
  }

  bool Reachable() const { return reachable_; }
  RtMidiOut& Port() { return out_; }
  ErrorSink& Sink() { return sink_; }

  std::vector<std::string> PortNames() {
    std::vector<std::string> names;
    const unsigned int count = out_.getPortCount();
    for (unsigned int i = 0; i < count; ++i) names.push_back(out_.getPortName(i));
    return names;
  }

 private:
  ErrorSink sink_;  // outlives out_, which may report while it closes
  RtMidiOut out_;
  bool reachable_ = false;
};

// Whether the back end can be tried at all without it complaining on the terminal.
bool WorthTrying(RtMidi::Api api) {
  std::error_code error;
  if (api == RtMidi::LINUX_ALSA) return std::filesystem::exists("/dev/snd/seq", error);
  return true;
}

// The ports of a back end RtMidi drives soundly (the ALSA sequencer, CoreMIDI). Each
// device keeps its RtMidi output, and so its connection, from its first open while its
// destination lives: closing it only ends its notes. On ALSA the sequencer's announcements
// tell at the next call that a destination ended; its device is connected again, found by
// its name, at the first message after a port came, and gets the programs chosen through
// it again. A destination that cannot be reached fails one call with its text; the calls
// after it drop their messages quietly until it is reached again.
class RtMidiSystem final : public MidiSystem {
 public:
  RtMidiSystem(RtMidi::Api api, std::unique_ptr<Output> lister, bool withVirtualPort);
  ~RtMidiSystem() override;

  std::uint32_t DeviceCount() override;
  MidiResult DeviceName(std::uint32_t id, std::string& name) override;
  MidiResult Open(std::uint32_t id, MidiHandle& handle) override;
  MidiResult ShortMessage(MidiHandle handle, std::uint32_t message) override;
  MidiResult Close(MidiHandle handle) override;
  MidiResult ErrorText(MidiResult code, std::string& text) override;
  void ListNewDevices() override;

 private:
  // One device: the shared virtual port, or a port of the machine with the output that
  // is connected to it (none while it is not).
  struct Device {
    std::string Name;  // as listed: on ALSA with the sequencer's numbers of that moment
    std::unique_ptr<Output> Own;
    Output* Through = nullptr;
    std::optional<SequencerAddress> Address;  // where Own is connected to
    bool Virtual = false;
    bool Open = false;
    bool WorthTrying = true;  // never tried, or a port came since the last try failed
    bool AbsenceReported = false;
    SoundingNotes Sounding;
    ChosenPrograms Programs;
  };

  Device* DeviceOf(MidiHandle handle);
  // Appends a device for every port present that no device stands for.
  void AppendNewPorts();
  // The names the devices were listed with, by id.
  std::vector<std::string> ListedNames() const;
  // Takes in what the sequencer announced: connections to destinations that ended are
  // dropped, and devices without one may try again once a port came.
  void Review();
  // Makes the device able to carry a message (linked tells whether it is).
  MidiResult Reach(std::uint32_t id, bool& linked);
  MidiResult Connect(std::uint32_t id);
  // Sends the note-offs still due.
  static void EndNotes(Device& device);

  RtMidi::Api api_;
  std::unique_ptr<Output> lister_;  // lists the ports; carries the virtual port
#ifdef TESSIVAR_HAVE_ALSA
  std::unique_ptr<SequencerAnnouncements> announcements_;
#endif
  std::vector<Device> devices_;
  FailureTexts texts_;  // the last text per failure code
};

RtMidiSystem::RtMidiSystem(RtMidi::Api api, std::unique_ptr<Output> lister, bool withVirtualPort)
    : api_(api), lister_(std::move(lister)) {
#ifdef TESSIVAR_HAVE_ALSA
  if (api_ == RtMidi::LINUX_ALSA) announcements_ = SequencerAnnouncements::Open();
#endif
  if (withVirtualPort) {
    lister_->Sink().Failed = false;
    lister_->Port().openVirtualPort(kVirtualOutputPortName);
    if (!lister_->Sink().Failed) {
      Device& device = devices_.emplace_back();
      device.Name = kVirtualOutputDeviceName;
      device.Through = lister_.get();
      device.Virtual = true;
    }
  }
  AppendNewPorts();
}

RtMidiSystem::~RtMidiSystem() {
  for (Device& device : devices_) {
    if (device.Open) EndNotes(device);
  }
}

void RtMidiSystem::AppendNewPorts() {
  std::vector<std::string> present = lister_->PortNames();
  present.erase(std::remove(present.begin(), present.end(), std::string()), present.end());
  std::vector<bool> known(present.size(), false);
  for (const int match : MatchListedPorts(ListedNames(), present)) {
    if (match >= 0) known[static_cast<std::size_t>(match)] = true;
  }
  for (std::size_t i = 0; i < present.size(); ++i) {
    if (!known[i]) devices_.emplace_back().Name = std::move(present[i]);
  }
}

std::vector<std::string> RtMidiSystem::ListedNames() const {
  std::vector<std::string> names;
  for (const Device& device : devices_) names.push_back(device.Name);
  return names;
}

void RtMidiSystem::Review() {
#ifdef TESSIVAR_HAVE_ALSA
  if (!announcements_) return;
  const SequencerAnnouncements::News news = announcements_->Read();
  for (Device& device : devices_) {
    if (device.Virtual) continue;
    if (device.Own && device.Address && news.Ended(*device.Address)) {
      device.Own.reset();
      device.Through = nullptr;
      device.WorthTrying = true;
    } else if (!device.Own && news.Came) {
      device.WorthTrying = true;
    }
  }
#endif
}

std::uint32_t RtMidiSystem::DeviceCount() { return static_cast<std::uint32_t>(devices_.size()); }

MidiResult RtMidiSystem::DeviceName(std::uint32_t id, std::string& name) {
  if (id >= DeviceCount()) return MMSYSERR_BADDEVICEID;
  name = devices_[id].Name;
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiSystem::Open(std::uint32_t id, MidiHandle& handle) {
  if (id >= DeviceCount()) return MMSYSERR_BADDEVICEID;
  if (devices_[id].Open) return MMSYSERR_ALLOCATED;
  bool linked = false;
  if (const MidiResult result = Reach(id, linked); result != MMSYSERR_NOERROR) return result;
  devices_[id].Open = true;
  handle = static_cast<MidiHandle>(id) + 1;
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiSystem::Reach(std::uint32_t id, bool& linked) {
  Review();
  Device& device = devices_[id];
  linked = device.Through != nullptr;
  if (linked || !device.WorthTrying) return MMSYSERR_NOERROR;
  const MidiResult result = Connect(id);
  linked = device.Through != nullptr;
  if (linked) {
    device.AbsenceReported = false;
    // A destination that started again knows nothing of the programs chosen before.
    RtMidiOut& port = device.Through->Port();
    device.Programs.Replay(
        [&port](const MidiEvent& change) { port.sendMessage(change.Bytes.data(), change.Size); });
    return MMSYSERR_NOERROR;
  }
#ifdef TESSIVAR_HAVE_ALSA
  // The announcements say when trying again is worth it; without them every call tries.
  if (announcements_) device.WorthTrying = false;
#endif
  if (device.AbsenceReported) return MMSYSERR_NOERROR;
  device.AbsenceReported = true;
  return result;
}

MidiResult RtMidiSystem::Connect(std::uint32_t id) {
  std::unique_ptr<Output> output;
  try {
    output = std::make_unique<Output>(api_);
  } catch (const RtMidiError& error) {
    return texts_.Fail(CodeOf(error.getType(), MMSYSERR_NODRIVER), error.getMessage());
  }
  if (!output->Reachable()) return texts_.Fail(MMSYSERR_NODRIVER, output->Sink().Message);
  // Port numbers shift as ports come and go, and a client that starts again gets new
  // sequencer numbers: the port is found by its name.
  const std::vector<std::string> present = output->PortNames();
  const int found = MatchListedPorts(ListedNames(), present)[id];
  Device& device = devices_[id];
  if (found < 0) {
    return texts_.Fail(MIDIERR_NODEVICE,
                       "The MIDI port \"" + device.Name + "\" is no longer present.");
  }
  output->Sink().Failed = false;
  output->Port().openPort(static_cast<unsigned int>(found), kOutputPortName);
  if (output->Sink().Failed) {
    return texts_.Fail(CodeOf(output->Sink().Type, MIDIERR_NODEVICE), output->Sink().Message);
  }
  device.Address = PortAddress(present[static_cast<std::size_t>(found)]);
  device.Own = std::move(output);
  device.Through = device.Own.get();
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiSystem::ShortMessage(MidiHandle handle, std::uint32_t message) {
  Device* device = DeviceOf(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  const MidiEvent event = ShortMessageEvent(message);
  bool linked = false;
  const MidiResult reached = Reach(static_cast<std::uint32_t>(handle - 1), linked);
  device->Programs.Sent(event);
  if (!linked) return reached;
  Output& output = *device->Through;
  output.Sink().Failed = false;
  output.Port().sendMessage(event.Bytes.data(), event.Size);
  if (output.Sink().Failed) {
    return texts_.Fail(CodeOf(output.Sink().Type, MIDIERR_NOTREADY), output.Sink().Message);
  }
  device->Sounding.Sent(event);
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiSystem::Close(MidiHandle handle) {
  Device* device = DeviceOf(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  EndNotes(*device);
  device->Programs.Forget();
  device->Open = false;
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiSystem::ErrorText(MidiResult code, std::string& text) {
  return texts_.ErrorText(code, text);
}

void RtMidiSystem::ListNewDevices() { AppendNewPorts(); }

RtMidiSystem::Device* RtMidiSystem::DeviceOf(MidiHandle handle) {
  if (handle == 0 || handle > devices_.size()) return nullptr;
  Device& device = devices_[handle - 1];
  return device.Open ? &device : nullptr;
}

void RtMidiSystem::EndNotes(Device& device) {
  if (device.Through == nullptr) {
    device.Sounding.Forget();  // its destination went, and the notes with it
    return;
  }
  RtMidiOut& port = device.Through->Port();
  device.Sounding.EndAll(
      [&port](const MidiEvent& noteOff) { port.sendMessage(noteOff.Bytes.data(), noteOff.Size); });
}

// An RtMidi system on api, or null when that back end cannot be reached.
std::unique_ptr<MidiSystem> TryRtMidi(RtMidi::Api api, bool withVirtualPort) {
  std::vector<RtMidi::Api> compiled;
  RtMidi::getCompiledApi(compiled);
  if (std::find(compiled.begin(), compiled.end(), api) == compiled.end()) return nullptr;
  if (!WorthTrying(api)) return nullptr;
  try {
    auto lister = std::make_unique<Output>(api);
    if (!lister->Reachable() || lister->Port().getCurrentApi() != api) return nullptr;
    return std::make_unique<RtMidiSystem>(api, std::move(lister), withVirtualPort);
  } catch (const RtMidiError&) {
    return nullptr;  // this back end cannot be reached; the next one may
  }
}

}  // namespace

std::unique_ptr<MidiSystem> CreateRtMidiSystem(bool withVirtualPort) {
  if (auto alsa = TryRtMidi(RtMidi::LINUX_ALSA, withVirtualPort)) return alsa;
#ifdef TESSIVAR_HAVE_JACK
  // RtMidi's JACK output frees what its process thread reads before it closes its client;
  // JACK is driven through its own API instead.
  if (auto jack = CreateJackMidiSystem(withVirtualPort)) return jack;
#endif
  if (auto core = TryRtMidi(RtMidi::MACOSX_CORE, withVirtualPort)) return core;
  return CreateNoMidiSystem();
}
