#include "rtmidi_system.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "combined_midi_system.h"

#ifdef TESSIVAR_HAVE_JACK
#include <jack/jack.h>
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
    // A JACK client that could not reach its server tries again here and says so.
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

#ifdef TESSIVAR_HAVE_JACK
void QuietJackMessage(const char*) {}
void JackMessageToStderr(const char* message) { std::fprintf(stderr, "%s\n", message); }

// The server takes a changed graph at the start of a cycle, and a client may already be
// inside the cycle it joined when its connection is made: what it sends in that cycle
// is lost. After two whole cycles a new connection carries every message.
std::chrono::microseconds TwoCycles(jack_client_t* client) {
  constexpr std::chrono::microseconds kLongest{100'000};
  const jack_nframes_t rate = jack_get_sample_rate(client);
  if (rate == 0) return kLongest;
  const std::chrono::microseconds cycles{2'000'000LL * jack_get_buffer_size(client) / rate};
  return std::min(cycles + std::chrono::microseconds{1000}, kLongest);
}

// Whether a JACK server answers, asked without the library's complaints when none
// does; and how long a new connection takes to carry messages.
std::optional<std::chrono::microseconds> AskJackServer() {
  jack_set_error_function(&QuietJackMessage);
  jack_set_info_function(&QuietJackMessage);
  jack_status_t status{};
  jack_client_t* client = jack_client_open(kClientName, JackNoStartServer, &status);
  std::optional<std::chrono::microseconds> settle;
  if (client != nullptr) {
    settle = TwoCycles(client);
    jack_client_close(client);
  }
  jack_set_error_function(&JackMessageToStderr);
  jack_set_info_function(&JackMessageToStderr);
  return settle;
}
#endif

// Whether the back end can be tried at all without it complaining on the terminal; and
// how long a connection it makes takes before messages through it arrive.
std::optional<std::chrono::microseconds> WorthTrying(RtMidi::Api api) {
  std::error_code error;
  switch (api) {
    case RtMidi::LINUX_ALSA:
      // The sequencer routes through a subscription as soon as it is made.
      if (!std::filesystem::exists("/dev/snd/seq", error)) return std::nullopt;
      return std::chrono::microseconds{0};
#ifdef TESSIVAR_HAVE_JACK
    case RtMidi::UNIX_JACK:
      return AskJackServer();
#endif
    default:
      return std::chrono::microseconds{0};
  }
}

// Bytes a short message occupies, from its status byte.
std::size_t MessageLength(std::uint8_t status) {
  switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
      return 2;
    case 0xF0:
      if (status == 0xF1 || status == 0xF3) return 2;
      if (status == 0xF6 || status >= 0xF8) return 1;
      return 3;
    default:
      return 3;
  }
}

class RtMidiSystem final : public MidiSystem {
 public:
  explicit RtMidiSystem(bool withVirtualPort);
  ~RtMidiSystem() override;

  std::uint32_t DeviceCount() override;
  MidiResult DeviceName(std::uint32_t id, std::string& name) override;
  MidiResult Open(std::uint32_t id, MidiHandle& handle) override;
  MidiResult ShortMessage(MidiHandle handle, std::uint32_t message) override;
  MidiResult Close(MidiHandle handle) override;
  MidiResult ErrorText(MidiResult code, std::string& text) override;

 private:
  // One open device: its own client, or the shared virtual port, and the notes that went
  // out through it and are still on (channel x 128 + note).
  struct Connection {
    std::unique_ptr<Output> Own;
    Output* Through = nullptr;
    std::bitset<16 * 128> Sounding;
  };

  Connection* ConnectionOf(MidiHandle handle);
  MidiResult Fail(MidiResult code, std::string text);
  // Sends the note-offs still due and ends the connection; the virtual port stays.
  void Finish(Connection& connection);

  std::optional<RtMidi::Api> api_;
  std::chrono::microseconds settle_{0};  // from connecting to messages arriving
  std::unique_ptr<Output> virtual_;
  std::vector<std::string> ports_;
  std::vector<std::unique_ptr<Connection>> open_;
  std::map<MidiResult, std::string> texts_;  // the back end's last message per code
};

RtMidiSystem::RtMidiSystem(bool withVirtualPort) {
  std::vector<RtMidi::Api> compiled;
  RtMidi::getCompiledApi(compiled);
  std::unique_ptr<Output> lister;
  for (const RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK, RtMidi::MACOSX_CORE}) {
    if (std::find(compiled.begin(), compiled.end(), api) == compiled.end()) continue;
    const std::optional<std::chrono::microseconds> settle = WorthTrying(api);
    if (!settle) continue;
    try {
      auto output = std::make_unique<Output>(api);
      if (!output->Reachable() || output->Port().getCurrentApi() != api) continue;
      api_ = api;
      settle_ = *settle;
      lister = std::move(output);
      break;
    } catch (const RtMidiError&) {
      // This back end cannot be reached; the next one may.
    }
  }
  if (!api_) return;

  if (withVirtualPort) {
    lister->Sink().Failed = false;
    lister->Port().openVirtualPort(kVirtualOutputPortName);
    if (!lister->Sink().Failed) virtual_ = std::move(lister);
  }
  ports_ = (virtual_ ? *virtual_ : *lister).PortNames();
  ports_.erase(std::remove(ports_.begin(), ports_.end(), std::string()), ports_.end());
}

RtMidiSystem::~RtMidiSystem() {
  for (const std::unique_ptr<Connection>& connection : open_) Finish(*connection);
}

std::uint32_t RtMidiSystem::DeviceCount() {
  return static_cast<std::uint32_t>(ports_.size()) + (virtual_ ? 1u : 0u);
}

MidiResult RtMidiSystem::DeviceName(std::uint32_t id, std::string& name) {
  if (id >= DeviceCount()) return MMSYSERR_BADDEVICEID;
  if (virtual_ && id == 0) {
    name = kVirtualOutputDeviceName;
  } else {
    name = ports_[id - (virtual_ ? 1u : 0u)];
  }
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiSystem::Open(std::uint32_t id, MidiHandle& handle) {
  if (id >= DeviceCount()) return MMSYSERR_BADDEVICEID;
  auto connection = std::make_unique<Connection>();
  if (virtual_ && id == 0) {
    connection->Through = virtual_.get();
  } else {
    const std::string& name = ports_[id - (virtual_ ? 1u : 0u)];
    try {
      connection->Own = std::make_unique<Output>(*api_);
    } catch (const RtMidiError& error) {
      return Fail(CodeOf(error.getType(), MMSYSERR_NODRIVER), error.getMessage());
    }
    Output& output = *connection->Own;
    if (!output.Reachable()) return Fail(MMSYSERR_NODRIVER, output.Sink().Message);
    // Port numbers shift as ports come and go: find the recorded name again.
    const std::vector<std::string> names = output.PortNames();
    const auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) {
      return Fail(MIDIERR_NODEVICE, "The MIDI port \"" + name + "\" is no longer present.");
    }
    output.Sink().Failed = false;
    output.Port().openPort(static_cast<unsigned int>(found - names.begin()), kOutputPortName);
    if (output.Sink().Failed) {
      return Fail(CodeOf(output.Sink().Type, MIDIERR_NODEVICE), output.Sink().Message);
    }
    // The first note follows at once; it must not go out before the connection carries it.
    std::this_thread::sleep_for(settle_);
    connection->Through = &output;
  }
  handle = reinterpret_cast<MidiHandle>(connection.get());
  open_.push_back(std::move(connection));
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiSystem::ShortMessage(MidiHandle handle, std::uint32_t message) {
  Connection* connection = ConnectionOf(handle);
  if (connection == nullptr) return MMSYSERR_INVALHANDLE;
  const std::array<unsigned char, 3> bytes = {static_cast<unsigned char>(message & 0xFF),
                                              static_cast<unsigned char>((message >> 8) & 0xFF),
                                              static_cast<unsigned char>((message >> 16) & 0xFF)};
  Output& output = *connection->Through;
  output.Sink().Failed = false;
  output.Port().sendMessage(bytes.data(), MessageLength(bytes[0]));
  if (output.Sink().Failed) {
    return Fail(CodeOf(output.Sink().Type, MIDIERR_NOTREADY), output.Sink().Message);
  }

  const unsigned kind = bytes[0] & 0xF0;
  if (kind == 0x80 || kind == 0x90) {
    const std::size_t key = (bytes[0] & 0x0Fu) * 128u + (bytes[1] & 0x7Fu);
    connection->Sounding.set(key, kind == 0x90 && bytes[2] != 0);
  }
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiSystem::Close(MidiHandle handle) {
  Connection* connection = ConnectionOf(handle);
  if (connection == nullptr) return MMSYSERR_INVALHANDLE;
  Finish(*connection);
  open_.erase(std::find_if(open_.begin(), open_.end(),
                           [connection](const auto& entry) { return entry.get() == connection; }));
  return MMSYSERR_NOERROR;
}

MidiResult RtMidiSystem::ErrorText(MidiResult code, std::string& text) {
  const auto found = texts_.find(code);
  if (found != texts_.end()) {
    text = found->second;
    return MMSYSERR_NOERROR;
  }
  return StandardMidiErrorText(code, text) ? MMSYSERR_NOERROR : MMSYSERR_BADERRNUM;
}

RtMidiSystem::Connection* RtMidiSystem::ConnectionOf(MidiHandle handle) {
  for (const std::unique_ptr<Connection>& connection : open_) {
    if (reinterpret_cast<MidiHandle>(connection.get()) == handle) return connection.get();
  }
  return nullptr;
}

MidiResult RtMidiSystem::Fail(MidiResult code, std::string text) {
  texts_[code] = std::move(text);
  return code;
}

void RtMidiSystem::Finish(Connection& connection) {
  RtMidiOut& port = connection.Through->Port();
  for (std::size_t key = 0; key < connection.Sounding.size(); ++key) {
    if (!connection.Sounding.test(key)) continue;
    const std::array<unsigned char, 3> noteOff = {static_cast<unsigned char>(0x80 | (key / 128)),
                                                  static_cast<unsigned char>(key % 128), 0};
    port.sendMessage(noteOff.data(), noteOff.size());
  }
  connection.Sounding.reset();
  if (connection.Own) port.closePort();
}

}  // namespace

std::unique_ptr<MidiSystem> CreateRtMidiSystem(bool withVirtualPort) {
  return std::make_unique<RtMidiSystem>(withVirtualPort);
}
