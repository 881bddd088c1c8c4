#include "rtmidi_back_end.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "port_names.h"
#include "sequencer_announcements.h"
#include "sequencer_input.h"

namespace {

constexpr char kClientName[] = "Tessivar";
constexpr char kOutputPortName[] = "output";

// What RtMidi reported last through the error callback of one output.
struct ErrorSink {
  bool Failed = false;
  std::string Message;
};

void RecordError(RtMidiError::Type type, const std::string& message, void* data) {
  if (type == RtMidiError::DEBUG_WARNING) return;
  auto* sink = static_cast<ErrorSink*>(data);
  sink->Failed = true;
  sink->Message = message;
}

// One RtMidi output client. Errors come to the sink instead of being thrown or printed.
class Output {
 public:
  // Throws RtMidiError when the back end refuses the client outright.
  Output() : out_(RtMidi::LINUX_ALSA, kClientName) {
    out_.setErrorCallback(&RecordError, &sink_);
    // A client that cannot reach its back end says so here.
    out_.getPortCount();
    reachable_ = !sink_.Failed;
  }

  bool Reachable() const { return reachable_; }
  RtMidiOut& Port() { return out_; }
  ErrorSink& Sink() { return sink_; }
  // Runs call on the output; raises what RtMidi reported meanwhile.
  template <typename Call>
  void Checked(const Call& call) {
    sink_.Failed = false;
    call(out_);
    if (sink_.Failed) throw AppError(sink_.Message);
  }

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

class RtMidiBackEnd final : public MidiBackEnd {
 public:
  RtMidiBackEnd(std::unique_ptr<Output> lister, bool withVirtualPort);

  std::vector<std::string> PortNames() override;
  MidiPort& MakePort(std::size_t position, const std::string& name) override;

 private:
  // The shared virtual port, or a port of the machine with the output that is connected
  // to it (none while it is not).
  struct Port final : MidiPort {
    Port(RtMidiBackEnd& owner, std::string name) : Owner(owner), Name(std::move(name)) {}
    Link Reach() override { return Owner.Reach(*this); }
    void Send(const MidiEvent& event) override {
      Through->Checked(
          [&event](RtMidiOut& out) { out.sendMessage(event.Bytes.data(), event.Size); });
    }

    RtMidiBackEnd& Owner;
    std::string Name;  // as listed: on ALSA with the sequencer's numbers of that moment
    std::unique_ptr<Output> Own;
    Output* Through = nullptr;
    std::optional<SequencerAddress> Address;  // where Own is connected to
    bool WorthTrying = true;  // never tried, or a port came since the last try failed
    std::string Failure;      // why the last try failed
  };

  // Takes in what the sequencer announced: connections to destinations that ended are
  // dropped, and ports without one may try again once a port came.
  void Review();
  Link Reach(Port& port);
  void Connect(Port& port);

  std::unique_ptr<Output> lister_;  // lists the ports; carries the virtual port
  std::unique_ptr<SequencerAnnouncements> announcements_;
  std::unique_ptr<SequencerInput> input_;  // the program's MIDI input, beside the virtual port
  std::unique_ptr<Port> virtual_;
  std::vector<std::unique_ptr<Port>> ports_;  // in the order listed
};

RtMidiBackEnd::RtMidiBackEnd(std::unique_ptr<Output> lister, bool withVirtualPort)
    : lister_(std::move(lister)), announcements_(SequencerAnnouncements::Open()) {
  if (withVirtualPort) {
    input_ = SequencerInput::Open();
    lister_->Sink().Failed = false;
    lister_->Port().openVirtualPort(kVirtualOutputPortName);
    if (!lister_->Sink().Failed) {
      virtual_ = std::make_unique<Port>(*this, kVirtualOutputDeviceName);
      virtual_->Through = lister_.get();
    }
  }
}

std::vector<std::string> RtMidiBackEnd::PortNames() {
  std::vector<std::string> names = lister_->PortNames();
  names.erase(std::remove(names.begin(), names.end(), std::string()), names.end());
  // The program's own input plays nothing.
  if (input_) {
    const SequencerAddress input = input_->Address();
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&input](const std::string& name) {
                                 return PortAddress(name) == std::optional(input);
                               }),
                names.end());
  }
  if (virtual_) names.insert(names.begin(), virtual_->Name);
  return names;
}

MidiPort& RtMidiBackEnd::MakePort(std::size_t, const std::string& name) {
  if (virtual_ && name == virtual_->Name) return *virtual_;
  return *ports_.emplace_back(std::make_unique<Port>(*this, name));
}

void RtMidiBackEnd::Review() {
  if (!announcements_) return;
  const SequencerAnnouncements::News news = announcements_->Read();
  for (const std::unique_ptr<Port>& port : ports_) {
    if (port->Own && port->Address && news.Ended(*port->Address)) {
      port->Own.reset();
      port->Through = nullptr;
      port->WorthTrying = true;
    } else if (!port->Own && news.Came) {
      port->WorthTrying = true;
    }
  }
}

Link RtMidiBackEnd::Reach(Port& port) {
  Review();
  if (port.Through != nullptr) return Link::Kept;
  if (!port.WorthTrying) throw AppError(port.Failure);
  try {
    Connect(port);
  } catch (const AppError& error) {
    // The announcements say when trying again is worth it; without them every call tries.
    if (announcements_) port.WorthTrying = false;
    port.Failure = error.what();
    throw;
  }
  return Link::Made;
}

void RtMidiBackEnd::Connect(Port& port) {
  std::unique_ptr<Output> output;
  try {
    output = std::make_unique<Output>();
  } catch (const RtMidiError& error) {
    throw AppError(error.getMessage());
  }
  if (!output->Reachable()) throw AppError(output->Sink().Message);
  // Port numbers shift as ports come and go, and a client that starts again gets new
  // sequencer numbers: the port is found by its name.
  const std::vector<std::string> present = output->PortNames();
  std::vector<std::string> listed;
  std::size_t mine = 0;
  for (const std::unique_ptr<Port>& each : ports_) {
    if (each.get() == &port) mine = listed.size();
    listed.push_back(each->Name);
  }
  const int found = MatchListedPorts(listed, present)[mine];
  if (found < 0) throw AppError("The MIDI port \"" + port.Name + "\" is no longer present.");
  output->Checked(
      [found](RtMidiOut& out) { out.openPort(static_cast<unsigned int>(found), kOutputPortName); });
  port.Address = PortAddress(present[static_cast<std::size_t>(found)]);
  port.Own = std::move(output);
  port.Through = port.Own.get();
}

}  // namespace

std::unique_ptr<MidiBackEnd> CreateRtMidiBackEnd(bool withVirtualPort) {
  // Without the sequencer's device RtMidi would complain on the terminal.
  std::error_code error;
  if (!std::filesystem::exists("/dev/snd/seq", error)) return nullptr;
  try {
    auto lister = std::make_unique<Output>();
    if (!lister->Reachable() || lister->Port().getCurrentApi() != RtMidi::LINUX_ALSA)
      return nullptr;
    return std::make_unique<RtMidiBackEnd>(std::move(lister), withVirtualPort);
  } catch (const RtMidiError&) {
    return nullptr;  // the sequencer cannot be reached; JACK may be
  }
}
