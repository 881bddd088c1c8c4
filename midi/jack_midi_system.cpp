#include "jack_midi_system.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "event_queue.h"
#include "failure_texts.h"
#include "jack_loss.h"
#include "rtmidi_system.h"
#include "short_message.h"

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

class JackMidiSystem final : public MidiSystem {
 public:
  JackMidiSystem(jack_client_t* client, bool withVirtualPort);
  ~JackMidiSystem() override;
  JackMidiSystem(const JackMidiSystem&) = delete;
  JackMidiSystem& operator=(const JackMidiSystem&) = delete;

  // Whether the client runs (it may not, when the server refused to activate it).
  bool Running() const { return client_ != nullptr; }

  std::uint32_t DeviceCount() override { return static_cast<std::uint32_t>(devices_.size()); }
  MidiResult DeviceName(std::uint32_t id, std::string& name) override;
  MidiResult Open(std::uint32_t id, MidiHandle& handle) override;
  MidiResult ShortMessage(MidiHandle handle, std::uint32_t message) override;
  MidiResult Close(MidiHandle handle) override;
  MidiResult ErrorText(MidiResult code, std::string& text) override;
  void ListNewDevices() override;

 private:
  // One device: the virtual port, or a destination port with the output port that feeds
  // it. Port belongs to the client in use (null while it has none); the GUI thread writes
  // it, the process thread reads it.
  struct Device {
    std::string Name;         // as listed
    std::string Destination;  // the full JACK port name; empty for the virtual port
    std::atomic<jack_port_t*> Port{nullptr};
    MidiEventQueue Queue;
    std::atomic<Device*> Next{nullptr};  // the list the process thread walks
    bool Open = false;
    bool AbsenceReported = false;  // its destination's absence was said: quiet until it is back
    SoundingNotes Sounding;
    ChosenPrograms Programs;
  };

  static int Process(jack_nframes_t frames, void* data);
  static void ShutDown(void* data);
  static void InfoShutDown(jack_status_t, const char*, void* data) { ShutDown(data); }

  // Adds a device at the end of the list, where the process thread finds it too.
  void Append(std::unique_ptr<Device> device);
  // Appends a device for every MIDI input port of the server not listed yet.
  void AppendNewPorts();
  // Registers the virtual port when it has none, hands the client its callbacks and
  // activates it; whether it runs.
  bool Start();
  // Whether a server is there to send to. A client whose server went away is closed here,
  // and a new one is made once a server answers again.
  bool ServerThere();
  // Closes the client: its threads end before anything they read changes. What was queued
  // for it is dropped, and the notes it carried are forgotten (their server went with it).
  void EndClient();
  // Whether messages to the device reach where they should now.
  bool Linked(const Device& device) const;
  // Registers the device's port when it has none; connects it to the destination.
  MidiResult Connect(Device& device);
  // Makes the device able to carry a message (linked tells whether it is). A server or a
  // destination that is missing fails the first call with its text; the calls after it
  // succeed, carrying nothing, until it is back. A device linked anew gets its programs.
  MidiResult Reach(Device& device, bool& linked);
  MidiResult ServerAway(const Device& device);
  Device* DeviceOf(MidiHandle handle);
  // Waits until the process thread has run count more cycles, at most for timeout;
  // whether it did.
  bool WaitCycles(std::uint64_t count, std::chrono::milliseconds timeout) const;
  // Queues note-offs for the notes still on through the device; waits for room when the
  // queue is full, as long as the process thread runs.
  void EndNotes(Device& device);
  std::string NotRunningText(const Device& device) const;

  jack_client_t* client_;
  std::vector<std::unique_ptr<Device>> devices_;  // by id; only ever appended to
  std::atomic<Device*> first_{nullptr};
  Device* last_ = nullptr;
  Device* virtual_ = nullptr;
  std::size_t registered_ = 0;  // output ports of the client registered for destinations
  std::atomic<std::uint64_t> cycles_{0};
  std::atomic<bool> serverGone_{false};
  bool outageReported_ = false;  // the server's absence was said: quiet until it is back
  FailureTexts texts_;           // the last text per failure code
};

JackMidiSystem::JackMidiSystem(jack_client_t* client, bool withVirtualPort) : client_(client) {
  if (withVirtualPort) {
    auto device = std::make_unique<Device>();
    device->Name = kVirtualOutputDeviceName;
    device->Port = jack_port_register(client_, kVirtualOutputPortName, JACK_DEFAULT_MIDI_TYPE,
                                      JackPortIsOutput, 0);
    if (device->Port.load() != nullptr) {
      virtual_ = device.get();
      Append(std::move(device));
    }
  }
  AppendNewPorts();
  if (!Start()) EndClient();
}

JackMidiSystem::~JackMidiSystem() {
  if (client_ == nullptr) return;
  if (!serverGone_.load()) {
    for (const std::unique_ptr<Device>& device : devices_) {
      if (device->Open) EndNotes(*device);
    }
    // The last messages leave before the client ends: every queue empties within a cycle,
    // and the cycle after it has carried them to their destinations.
    const auto deadline = std::chrono::steady_clock::now() + kLastMessagesWait;
    auto allSent = [this] {
      for (const std::unique_ptr<Device>& device : devices_) {
        if (!device->Queue.Empty()) return false;
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
}

void JackMidiSystem::Append(std::unique_ptr<Device> device) {
  Device* added = device.get();
  devices_.push_back(std::move(device));
  if (last_ == nullptr) {
    first_.store(added, std::memory_order_release);
  } else {
    last_->Next.store(added, std::memory_order_release);
  }
  last_ = added;
}

void JackMidiSystem::AppendNewPorts() {
  const char** names = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
  if (names == nullptr) return;
  for (const char** name = names; *name != nullptr; ++name) {
    const bool listed = std::any_of(
        devices_.begin(), devices_.end(),
        [name](const std::unique_ptr<Device>& device) { return device->Destination == *name; });
    if (listed) continue;
    auto device = std::make_unique<Device>();
    device->Name = *name;
    device->Destination = *name;
    Append(std::move(device));
  }
  jack_free(names);
}

bool JackMidiSystem::Start() {
  registered_ = 0;
  serverGone_.store(false);
  if (virtual_ != nullptr && virtual_->Port.load() == nullptr) {
    virtual_->Port.store(jack_port_register(client_, kVirtualOutputPortName, JACK_DEFAULT_MIDI_TYPE,
                                            JackPortIsOutput, 0));
  }
  jack_set_process_callback(client_, &Process, this);
  // JACK's own library tells through the one with the reason, PipeWire's only through the
  // plain one.
  jack_on_shutdown(client_, &ShutDown, this);
  jack_on_info_shutdown(client_, &InfoShutDown, this);
  return jack_activate(client_) == 0;
}

bool JackMidiSystem::ServerThere() {
  if (client_ != nullptr) {
    if (!serverGone_.load(std::memory_order_acquire)) return true;
    EndClient();
    TellJackServerLost();  // before a new client is opened beside theirs
  }
  client_ = OpenClient();
  if (client_ == nullptr) return false;
  if (!Start()) {
    EndClient();
    return false;
  }
  outageReported_ = false;
  return true;
}

void JackMidiSystem::EndClient() {
  jack_client_close(client_);
  client_ = nullptr;
  for (const std::unique_ptr<Device>& device : devices_) {
    device->Port.store(nullptr);
    device->Queue.Discard();
    device->Sounding.Forget();
  }
}

MidiResult JackMidiSystem::DeviceName(std::uint32_t id, std::string& name) {
  if (id >= DeviceCount()) return MMSYSERR_BADDEVICEID;
  name = devices_[id]->Name;
  return MMSYSERR_NOERROR;
}

MidiResult JackMidiSystem::Open(std::uint32_t id, MidiHandle& handle) {
  if (id >= DeviceCount()) return MMSYSERR_BADDEVICEID;
  Device& device = *devices_[id];
  if (device.Open) return MMSYSERR_ALLOCATED;
  bool linked = false;
  if (const MidiResult result = Reach(device, linked); result != MMSYSERR_NOERROR) return result;
  device.Open = true;
  handle = static_cast<MidiHandle>(id) + 1;
  return MMSYSERR_NOERROR;
}

bool JackMidiSystem::Linked(const Device& device) const {
  jack_port_t* port = device.Port.load(std::memory_order_relaxed);
  if (port == nullptr) return false;
  return device.Destination.empty() || jack_port_connected_to(port, device.Destination.c_str());
}

MidiResult JackMidiSystem::Connect(Device& device) {
  const bool isVirtual = device.Destination.empty();
  if (!isVirtual && jack_port_by_name(client_, device.Destination.c_str()) == nullptr) {
    return texts_.Fail(MIDIERR_NODEVICE,
                       "The MIDI port \"" + device.Destination + "\" is no longer present.");
  }
  jack_port_t* port = device.Port.load();
  if (port == nullptr) {
    std::string name = isVirtual ? kVirtualOutputPortName : kOutputPortName;
    if (!isVirtual && registered_ > 0) name += " " + std::to_string(registered_ + 1);
    port = jack_port_register(client_, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (port == nullptr) {
      return texts_.Fail(MMSYSERR_NOMEM,
                         "JACK refused a new output port for \"" + device.Name + "\".");
    }
    if (!isVirtual) ++registered_;
    device.Port.store(port, std::memory_order_release);
  }
  if (isVirtual) return MMSYSERR_NOERROR;
  const int result = jack_connect(client_, jack_port_name(port), device.Destination.c_str());
  if (result != 0 && result != EEXIST) {
    return texts_.Fail(MIDIERR_NODEVICE,
                       "The MIDI port \"" + device.Destination + "\" could not be connected.");
  }
  // The server takes a changed graph at the start of a cycle, and the cycle under way may
  // be past our port already: after two whole cycles the connection carries every message.
  WaitCycles(2, kConnectionWait);
  return MMSYSERR_NOERROR;
}

MidiResult JackMidiSystem::Reach(Device& device, bool& linked) {
  linked = false;
  if (!ServerThere()) return ServerAway(device);
  if (Linked(device)) {
    linked = true;
    return MMSYSERR_NOERROR;
  }
  const MidiResult result = Connect(device);
  if (serverGone_.load()) return ServerAway(device);
  if (result != MMSYSERR_NOERROR) {
    if (device.AbsenceReported) return MMSYSERR_NOERROR;
    device.AbsenceReported = true;
    return result;
  }
  device.AbsenceReported = false;
  // A destination that started again knows nothing of the programs chosen before.
  device.Programs.Replay([&device](const MidiEvent& change) { device.Queue.Push(change); });
  linked = true;
  return MMSYSERR_NOERROR;
}

MidiResult JackMidiSystem::ServerAway(const Device& device) {
  if (outageReported_) return MMSYSERR_NOERROR;
  outageReported_ = true;
  return texts_.Fail(MMSYSERR_NODRIVER, NotRunningText(device));
}

MidiResult JackMidiSystem::ShortMessage(MidiHandle handle, std::uint32_t message) {
  Device* device = DeviceOf(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  const MidiEvent event = ShortMessageEvent(message);
  bool linked = false;
  const MidiResult reached = Reach(*device, linked);
  device->Programs.Sent(event);
  if (!linked) return reached;
  if (!device->Queue.Push(event)) return MIDIERR_NOTREADY;
  device->Sounding.Sent(event);
  return MMSYSERR_NOERROR;
}

MidiResult JackMidiSystem::Close(MidiHandle handle) {
  Device* device = DeviceOf(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  EndNotes(*device);
  device->Programs.Forget();
  device->Open = false;
  return MMSYSERR_NOERROR;
}

MidiResult JackMidiSystem::ErrorText(MidiResult code, std::string& text) {
  return texts_.ErrorText(code, text);
}

void JackMidiSystem::ListNewDevices() {
  if (ServerThere()) AppendNewPorts();
}

int JackMidiSystem::Process(jack_nframes_t frames, void* data) {
  auto* self = static_cast<JackMidiSystem*>(data);
  for (Device* device = self->first_.load(std::memory_order_acquire); device != nullptr;
       device = device->Next.load(std::memory_order_acquire)) {
    jack_port_t* port = device->Port.load(std::memory_order_acquire);
    if (port == nullptr) continue;
    void* buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    // What does not fit into this cycle's buffer goes out in the next one.
    device->Queue.Drain([buffer](const MidiEvent& event) {
      return jack_midi_event_write(buffer, 0, event.Bytes.data(), event.Size) == 0;
    });
  }
  self->cycles_.fetch_add(1, std::memory_order_release);
  return 0;
}

void JackMidiSystem::ShutDown(void* data) {
  static_cast<JackMidiSystem*>(data)->serverGone_.store(true, std::memory_order_release);
}

JackMidiSystem::Device* JackMidiSystem::DeviceOf(MidiHandle handle) {
  if (handle == 0 || handle > devices_.size()) return nullptr;
  Device* device = devices_[handle - 1].get();
  return device->Open ? device : nullptr;
}

bool JackMidiSystem::WaitCycles(std::uint64_t count, std::chrono::milliseconds timeout) const {
  const std::uint64_t until = cycles_.load(std::memory_order_acquire) + count;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (cycles_.load(std::memory_order_acquire) < until) {
    if (serverGone_.load() || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

void JackMidiSystem::EndNotes(Device& device) {
  if (client_ == nullptr || serverGone_.load()) {
    device.Sounding.Forget();
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + kLastMessagesWait;
  device.Sounding.EndAll([&](const MidiEvent& noteOff) {
    while (!device.Queue.Push(noteOff)) {
      if (serverGone_.load() || std::chrono::steady_clock::now() >= deadline) return;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
}

std::string JackMidiSystem::NotRunningText(const Device& device) const {
  return "JACK server not running: the MIDI port \"" + device.Name + "\" cannot be reached.";
}

}  // namespace

std::unique_ptr<MidiSystem> CreateJackMidiSystem(bool withVirtualPort) {
  // The library stays quiet: no server is the usual case on a desktop without JACK, and
  // what fails later is reported by the program with a text of its own.
  jack_set_error_function(&QuietJackMessage);
  jack_set_info_function(&QuietJackMessage);
  jack_client_t* client = OpenClient();
  if (client == nullptr) return nullptr;
  auto system = std::make_unique<JackMidiSystem>(client, withVirtualPort);
  if (!system->Running()) return nullptr;
  return system;
}
