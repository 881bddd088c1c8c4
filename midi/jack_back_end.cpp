#include "jack_back_end.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "event_queue.h"
#include "midi_input.h"

namespace {

constexpr char kClientName[] = "Tessivar";
constexpr char kOutputPortName[] = "output";
// How long a new connection may take to carry messages, and how long the messages still
// queued at the end may take to leave.
constexpr std::chrono::milliseconds kConnectionWait{200};
constexpr std::chrono::milliseconds kLastMessagesWait{500};

void QuietJackMessage(const char*) {}

jack_client_t* OpenClient() {
  jack_status_t status{};
  return jack_client_open(kClientName, JackNoStartServer, &status);
}

class JackBackEnd final : public MidiBackEnd {
 public:
  JackBackEnd(jack_client_t* client, bool withVirtualPort, std::function<void()> serverLost);
  ~JackBackEnd() override;
  JackBackEnd(const JackBackEnd&) = delete;
  JackBackEnd& operator=(const JackBackEnd&) = delete;

  // Whether the client runs (it may not, when the server refused to activate it).
  bool Running() const { return client_ != nullptr; }

  std::vector<std::string> PortNames() override;
  MidiPort& MakePort(std::size_t position, const std::string& name) override;

 private:
  // The virtual port, or a destination port with the output port that feeds it. Handle
  // belongs to the client in use (null while it has none); the GUI thread writes it, the
  // process thread reads it.
  struct Port final : MidiPort {
    Port(JackBackEnd& owner, std::string name) : Owner(owner), Name(std::move(name)) {}
    Link Reach() override { return Owner.Reach(*this); }
    void Send(const MidiEvent& event) override {
      if (!Queue->Push(event)) throw AppError("The hardware is busy with other data.");
    }

    JackBackEnd& Owner;
    std::string Name;  // the full JACK port name; the device's name for the virtual port
    bool Virtual = false;
    std::unique_ptr<MidiEventQueue> Queue;  // made before the first Handle
    std::atomic<jack_port_t*> Handle{nullptr};
    std::uint64_t Client = 0;          // the client Handle belongs to, counted from 1
    std::atomic<Port*> Next{nullptr};  // the list the process thread walks
  };

  static int Process(jack_nframes_t frames, void* data);
  static void ShutDown(void* data);
  static void InfoShutDown(jack_status_t, const char*, void* data) { ShutDown(data); }
  // A connection of the graph came or went (on a thread of the client that is not the
  // process thread).
  static void Connected(jack_port_id_t a, jack_port_id_t b, int connect, void* data);
  // Registers the program's MIDI input port beside the virtual port.
  void RegisterInput();

  // Adds a port at the end of the list, where the process thread finds it too.
  Port& Append(std::unique_ptr<Port> port);
  // Registers the port's output port of the client; whether it could.
  bool Register(Port& port);
  // Registers the virtual port when it has none, hands the client its callbacks and
  // activates it; whether it runs.
  bool Start();
  // Whether a server is there to send to. A client whose server went away is closed here,
  // and a new one is made once a server answers again.
  bool ServerThere();
  // Closes the client: its threads end before anything they read changes. What was queued
  // for it is dropped.
  void EndClient();
  Link Reach(Port& port);
  // Connects the port to its destination; raises with the reason when it cannot.
  void Connect(Port& port);
  // Waits until the process thread has run count more cycles, at most for timeout;
  // whether it did.
  bool WaitCycles(std::uint64_t count, std::chrono::milliseconds timeout) const;

  jack_client_t* client_;
  std::uint64_t clientNumber_ = 1;
  std::function<void()> serverLost_;
  std::vector<std::unique_ptr<Port>> ports_;  // only ever appended to
  std::atomic<Port*> first_{nullptr};
  Port* last_ = nullptr;
  Port* virtual_ = nullptr;
  bool withInput_ = false;  // the program's own ports, the input among them
  // The input port of the client in use and that client (null while it has none); the
  // client's threads read them.
  std::atomic<jack_port_t*> input_{nullptr};
  std::atomic<jack_client_t*> inputClient_{nullptr};
  std::string inputName_;       // its full name, left out of the list of destinations
  std::size_t registered_ = 0;  // output ports of the client registered for destinations
  std::atomic<std::uint64_t> cycles_{0};
  std::atomic<bool> serverGone_{false};
};

JackBackEnd::JackBackEnd(jack_client_t* client, bool withVirtualPort,
                         std::function<void()> serverLost)
    : client_(client), serverLost_(std::move(serverLost)), withInput_(withVirtualPort) {
  if (withVirtualPort) {
    auto port = std::make_unique<Port>(*this, kVirtualOutputDeviceName);
    port->Virtual = true;
    if (Register(*port)) virtual_ = &Append(std::move(port));
  }
  if (!Start()) EndClient();
}

JackBackEnd::~JackBackEnd() {
  if (client_ == nullptr) return;
  if (!serverGone_.load()) {
    // The last messages leave before the client ends: every queue empties within a cycle,
    // and the cycle after it has carried them to their destinations.
    const auto deadline = std::chrono::steady_clock::now() + kLastMessagesWait;
    auto allSent = [this] {
      for (const std::unique_ptr<Port>& port : ports_) {
        if (port->Queue && !port->Queue->Empty()) return false;
      }
      return true;
    };
    while (!serverGone_.load() && !allSent() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (!serverGone_.load()) WaitCycles(2, kConnectionWait);
    // The process thread stops here, before anything it reads is freed.
    jack_deactivate(client_);
  }
  jack_client_close(client_);
  IncomingMidi().SenderGone();
}

JackBackEnd::Port& JackBackEnd::Append(std::unique_ptr<Port> port) {
  Port* added = port.get();
  ports_.push_back(std::move(port));
  if (last_ == nullptr) {
    first_.store(added, std::memory_order_release);
  } else {
    last_->Next.store(added, std::memory_order_release);
  }
  last_ = added;
  return *added;
}

bool JackBackEnd::Register(Port& port) {
  std::string name = port.Virtual ? kVirtualOutputPortName : kOutputPortName;
  if (!port.Virtual && registered_ > 0) name += " " + std::to_string(registered_ + 1);
  jack_port_t* handle =
      jack_port_register(client_, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  if (handle == nullptr) return false;
  if (!port.Virtual) ++registered_;
  if (!port.Queue) port.Queue = std::make_unique<MidiEventQueue>();
  port.Handle.store(handle, std::memory_order_release);
  return true;
}

std::vector<std::string> JackBackEnd::PortNames() {
  std::vector<std::string> names;
  if (virtual_ != nullptr) names.push_back(virtual_->Name);
  if (!ServerThere()) return names;
  const char** ports = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
  if (ports == nullptr) return names;
  for (const char** name = ports; *name != nullptr; ++name) {
    if (*name != inputName_) names.emplace_back(*name);  // its own input plays nothing
  }
  jack_free(ports);
  return names;
}

MidiPort& JackBackEnd::MakePort(std::size_t, const std::string& name) {
  if (virtual_ != nullptr && name == virtual_->Name) return *virtual_;
  return Append(std::make_unique<Port>(*this, name));
}

bool JackBackEnd::Start() {
  registered_ = 0;
  serverGone_.store(false);
  if (virtual_ != nullptr && virtual_->Handle.load() == nullptr) Register(*virtual_);
  if (withInput_) RegisterInput();
  jack_set_process_callback(client_, &Process, this);
  jack_set_port_connect_callback(client_, &Connected, this);
  // JACK's own library tells through the one with the reason, PipeWire's only through the
  // plain one.
  jack_on_shutdown(client_, &ShutDown, this);
  jack_on_info_shutdown(client_, &InfoShutDown, this);
  return jack_activate(client_) == 0;
}

bool JackBackEnd::ServerThere() {
  if (client_ != nullptr) {
    if (!serverGone_.load(std::memory_order_acquire)) return true;
    EndClient();
    if (serverLost_) serverLost_();  // before a new client is opened beside theirs
  }
  client_ = OpenClient();
  if (client_ == nullptr) return false;
  ++clientNumber_;
  if (!Start()) {
    EndClient();
    return false;
  }
  return true;
}

void JackBackEnd::RegisterInput() {
  jack_port_t* input =
      jack_port_register(client_, kInputPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (input != nullptr) inputName_ = jack_port_name(input);
  inputClient_.store(client_, std::memory_order_release);
  input_.store(input, std::memory_order_release);
}

void JackBackEnd::EndClient() {
  jack_client_close(client_);
  client_ = nullptr;
  input_.store(nullptr);
  IncomingMidi().SenderGone();  // the input went with the client
  for (const std::unique_ptr<Port>& port : ports_) {
    port->Handle.store(nullptr);
    if (port->Queue) port->Queue->Discard();
  }
}

[[noreturn]] void ServerAway(const std::string& name) {
  throw AppError("JACK server not running: the MIDI port \"" + name + "\" cannot be reached.");
}

Link JackBackEnd::Reach(Port& port) {
  if (!ServerThere()) ServerAway(port.Name);
  jack_port_t* handle = port.Handle.load(std::memory_order_relaxed);
  if (handle != nullptr && port.Client == clientNumber_ &&
      (port.Virtual || jack_port_connected_to(handle, port.Name.c_str()))) {
    return Link::Kept;
  }
  const bool sounded = port.Client != 0;
  const bool newServer = sounded && port.Client != clientNumber_;
  try {
    Connect(port);
  } catch (const AppError&) {
    if (serverGone_.load()) ServerAway(port.Name);
    throw;
  }
  if (serverGone_.load()) ServerAway(port.Name);
  return newServer ? Link::MadeOnNewServer : Link::Made;
}

void JackBackEnd::Connect(Port& port) {
  if (!port.Virtual && jack_port_by_name(client_, port.Name.c_str()) == nullptr) {
    throw AppError("The MIDI port \"" + port.Name + "\" is no longer present.");
  }
  if (port.Handle.load() == nullptr && !Register(port)) {
    throw AppError("JACK refused a new output port for \"" + port.Name + "\".");
  }
  port.Client = clientNumber_;
  if (port.Virtual) return;
  const int result = jack_connect(client_, jack_port_name(port.Handle.load()), port.Name.c_str());
  if (result != 0 && result != EEXIST) {
    throw AppError("The MIDI port \"" + port.Name + "\" could not be connected.");
  }
  // The server takes a changed graph at the start of a cycle, and the cycle under way may
  // be past our port already: after two whole cycles the connection carries every message.
  WaitCycles(2, kConnectionWait);
}

int JackBackEnd::Process(jack_nframes_t frames, void* data) {
  auto* self = static_cast<JackBackEnd*>(data);
  if (jack_port_t* input = self->input_.load(std::memory_order_acquire)) {
    void* buffer = jack_port_get_buffer(input, frames);
    const std::uint32_t count = jack_midi_get_event_count(buffer);
    for (std::uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, buffer, i) == 0) {
        IncomingMidi().Arrived(event.buffer, event.size);
      }
    }
  }
  for (Port* port = self->first_.load(std::memory_order_acquire); port != nullptr;
       port = port->Next.load(std::memory_order_acquire)) {
    jack_port_t* handle = port->Handle.load(std::memory_order_acquire);
    if (handle == nullptr) continue;
    void* buffer = jack_port_get_buffer(handle, frames);
    jack_midi_clear_buffer(buffer);
    // What does not fit into this cycle's buffer goes out in the next one.
    port->Queue->Drain([buffer](const MidiEvent& event) {
      return jack_midi_event_write(buffer, 0, event.Bytes.data(), event.Size) == 0;
    });
  }
  self->cycles_.fetch_add(1, std::memory_order_release);
  return 0;
}

void JackBackEnd::ShutDown(void* data) {
  static_cast<JackBackEnd*>(data)->serverGone_.store(true, std::memory_order_release);
  IncomingMidi().SenderGone();  // the input went with the server
}

void JackBackEnd::Connected(jack_port_id_t a, jack_port_id_t b, int connect, void* data) {
  auto* self = static_cast<JackBackEnd*>(data);
  jack_port_t* input = self->input_.load(std::memory_order_acquire);
  jack_client_t* client = self->inputClient_.load(std::memory_order_acquire);
  if (connect != 0 || input == nullptr) return;
  if (jack_port_by_id(client, a) == input || jack_port_by_id(client, b) == input) {
    IncomingMidi().SenderGone();
  }
}

bool JackBackEnd::WaitCycles(std::uint64_t count, std::chrono::milliseconds timeout) const {
  const std::uint64_t until = cycles_.load(std::memory_order_acquire) + count;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (cycles_.load(std::memory_order_acquire) < until) {
    if (serverGone_.load() || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

}  // namespace

std::unique_ptr<MidiBackEnd> CreateJackBackEnd(bool withVirtualPort,
                                               std::function<void()> serverLost) {
  // The library stays quiet: no server is the usual case on a desktop without JACK, and
  // what fails later is reported by the program with a text of its own.
  jack_set_error_function(&QuietJackMessage);
  jack_set_info_function(&QuietJackMessage);
  jack_client_t* client = OpenClient();
  if (client == nullptr) return nullptr;
  auto backEnd = std::make_unique<JackBackEnd>(client, withVirtualPort, std::move(serverLost));
  if (!backEnd->Running()) return nullptr;
  return backEnd;
}
