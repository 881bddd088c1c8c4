#include "rtmidi_system.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "combined_midi_system.h"
#include "failure_texts.h"
#include "short_message.h"

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
// device keeps its RtMidi output, and so its connection, from its first open to the end
// of the run: closing it only ends its notes.
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

 private:
  // One device: the shared virtual port, or a port of the machine with the output that
  // was connected to it at its first open.
  struct Device {
    std::string Name;
    unsigned int Port = 0;  // the port's number where the name was found last
    std::unique_ptr<Output> Own;
    Output* Through = nullptr;
    bool Open = false;
    SoundingNotes Sounding;
  };

  Device* DeviceOf(MidiHandle handle);
  MidiResult Connect(Device& device);
  // Sends the note-offs still due.
  static void EndNotes(Device& device);

  RtMidi::Api api_;
  std::unique_ptr<Output> virtual_;
  std::vector<Device> devices_;
  FailureTexts texts_;  // the last text per failure code
};

RtMidiSystem::RtMidiSystem(RtMidi::Api api, std::unique_ptr<Output> lister, bool withVirtualPort)
    : api_(api) {
  if (withVirtualPort) {
    lister->Sink().Failed = false;
    lister->Port().openVirtualPort(kVirtualOutputPortName);
    if (!lister->Sink().Failed) virtual_ = std::move(lister);
  }
  std::vector<std::string> ports = (virtual_ ? *virtual_ : *lister).PortNames();
  ports.erase(std::remove(ports.begin(), ports.end(), std::string()), ports.end());
  devices_.resize(ports.size() + (virtual_ ? 1u : 0u));
  std::size_t next = 0;
  if (virtual_) {
    devices_[next].Name = kVirtualOutputDeviceName;
    devices_[next++].Through = virtual_.get();
  }
  for (std::string& port : ports) devices_[next++].Name = std::move(port);
}

RtMidiSystem::~RtMidiSystem() {
  for (Device& device : devices_) {
    if (device.Open) EndNotes(device);
  }
}

std::uint32_t RtMidiSystem::DeviceCount() { return static_cast<std::uint32_t>(devices_.size()); }

MidiResult RtMidiSystem::DeviceName(std::uint32_t id, std::string& name) {
  if (id >= DeviceCount()) return MMSYSERR_BADDEVICEID;
  name = devices_[id].Name;
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiSystem::Open(std::uint32_t id, MidiHandle& handle) {
  if (id >= DeviceCount()) return MMSYSERR_BADDEVICEID;
  Device& device = devices_[id];
  if (device.Open) return MMSYSERR_ALLOCATED;
  const bool virtualPort = virtual_ != nullptr && id == 0;
  if (!virtualPort) {
    if (const MidiResult result = Connect(device); result != MMSYSERR_NOERROR) return result;
  }
  device.Open = true;
  handle = static_cast<MidiHandle>(id) + 1;
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiSystem::Connect(Device& device) {
  if (device.Own == nullptr) {
    std::unique_ptr<Output> output;
    try {
      output = std::make_unique<Output>(api_);
    } catch (const RtMidiError& error) {
      return texts_.Fail(CodeOf(error.getType(), MMSYSERR_NODRIVER), error.getMessage());
    }
    if (!output->Reachable()) return texts_.Fail(MMSYSERR_NODRIVER, output->Sink().Message);
    device.Own = std::move(output);
  }
  Output& output = *device.Own;
  // Port numbers shift as ports come and go: find the recorded name again, first where it
  // was last (every name read is a walk over the sequencer's ports).
  if (output.Port().getPortName(device.Port) != device.Name) {
    const std::vector<std::string> names = output.PortNames();
    const auto found = std::find(names.begin(), names.end(), device.Name);
    if (found == names.end()) {
      return texts_.Fail(MIDIERR_NODEVICE,
                         "The MIDI port \"" + device.Name + "\" is no longer present.");
    }
    device.Port = static_cast<unsigned int>(found - names.begin());
  }
  // The client and its port stay; the subscription is made again at every open, since the
  // sequencer ends it with its destination, also one that has come back since.
  output.Port().closePort();
  output.Sink().Failed = false;
  output.Port().openPort(device.Port, kOutputPortName);
  if (output.Sink().Failed) {
    return texts_.Fail(CodeOf(output.Sink().Type, MIDIERR_NODEVICE), output.Sink().Message);
  }
  device.Through = &output;
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiSystem::ShortMessage(MidiHandle handle, std::uint32_t message) {
  Device* device = DeviceOf(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  const MidiEvent event = ShortMessageEvent(message);
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
  device->Open = false;
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiSystem::ErrorText(MidiResult code, std::string& text) {
  return texts_.ErrorText(code, text);
}

RtMidiSystem::Device* RtMidiSystem::DeviceOf(MidiHandle handle) {
  if (handle == 0 || handle > devices_.size()) return nullptr;
  Device& device = devices_[handle - 1];
  return device.Open ? &device : nullptr;
}

void RtMidiSystem::EndNotes(Device& device) {
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
