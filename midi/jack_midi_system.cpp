#include "jack_midi_system.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "combined_midi_system.h"
#include "event_queue.h"
#include "failure_texts.h"
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

class JackMidiSystem final : public MidiSystem {
 public:
  JackMidiSystem(jack_client_t* client, bool withVirtualPort);
  ~JackMidiSystem() override;
  JackMidiSystem(const JackMidiSystem&) = delete;
  JackMidiSystem& operator=(const JackMidiSystem&) = delete;

  bool Active() const { return active_; }

  std::uint32_t DeviceCount() override { return static_cast<std::uint32_t>(devices_.size()); }
  MidiResult DeviceName(std::uint32_t id, std::string& name) override;
  MidiResult Open(std::uint32_t id, MidiHandle& handle) override;
  MidiResult ShortMessage(MidiHandle handle, std::uint32_t message) override;
  MidiResult Close(MidiHandle handle) override;
  MidiResult ErrorText(MidiResult code, std::string& text) override;

 private:
  // One device: the virtual port, or a destination port with the output port that feeds
  // it. Port is written by the GUI thread once and then read by the process thread.
  struct Device {
    std::string Name;         // as listed
    std::string Destination;  // the full JACK port name; empty for the virtual port
    std::atomic<jack_port_t*> Port{nullptr};
    MidiEventQueue Queue;
    bool Open = false;
    SoundingNotes Sounding;
  };

  static int Process(jack_nframes_t frames, void* data);
  static void ShutDown(jack_status_t, const char*, void* data);

  Device* DeviceOf(MidiHandle handle);
  // Registers the device's output port when it has none; connects it to the destination
  // when it is not connected (first open, or the destination came back).
  MidiResult Connect(Device& device);
  // Waits until the process thread has run count more cycles, at most for timeout;
  // whether it did.
  bool WaitCycles(std::uint64_t count, std::chrono::milliseconds timeout) const;
  // Queues note-offs for the notes still on through the device; waits for room when the
  // queue is full, as long as the process thread runs.
  void EndNotes(Device& device);
  std::string NotRunningText(const Device& device) const;

  jack_client_t* client_;
  bool active_ = false;
  // Fixed for the run once the constructor is done: the process thread walks it.
  std::vector<std::unique_ptr<Device>> devices_;
  std::size_t registered_ = 0;  // output ports registered for destinations
  std::atomic<std::uint64_t> cycles_{0};
  std::atomic<bool> serverGone_{false};
  FailureTexts texts_;  // the last text per failure code
};

JackMidiSystem::JackMidiSystem(jack_client_t* client, bool withVirtualPort) : client_(client) {
  if (withVirtualPort) {
    auto device = std::make_unique<Device>();
    device->Name = kVirtualOutputDeviceName;
    device->Port = jack_port_register(client_, kVirtualOutputPortName, JACK_DEFAULT_MIDI_TYPE,
                                      JackPortIsOutput, 0);
    if (device->Port.load() != nullptr) devices_.push_back(std::move(device));
  }
  if (const char** names =
          jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput)) {
    for (const char** name = names; *name != nullptr; ++name) {
      auto device = std::make_unique<Device>();
      device->Name = *name;
      device->Destination = *name;
      devices_.push_back(std::move(device));
    }
    jack_free(names);
  }
  jack_set_process_callback(client_, &Process, this);
  jack_on_info_shutdown(client_, &ShutDown, this);
  active_ = jack_activate(client_) == 0;
}

JackMidiSystem::~JackMidiSystem() {
  if (active_) {
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

MidiResult JackMidiSystem::DeviceName(std::uint32_t id, std::string& name) {
  if (id >= DeviceCount()) return MMSYSERR_BADDEVICEID;
  name = devices_[id]->Name;
  return MMSYSERR_NOERROR;
}

MidiResult JackMidiSystem::Open(std::uint32_t id, MidiHandle& handle) {
  if (id >= DeviceCount()) return MMSYSERR_BADDEVICEID;
  Device& device = *devices_[id];
  if (device.Open) return MMSYSERR_ALLOCATED;
  if (serverGone_.load()) return texts_.Fail(MMSYSERR_NODRIVER, NotRunningText(device));
  if (!device.Destination.empty()) {
    if (const MidiResult result = Connect(device); result != MMSYSERR_NOERROR) return result;
  }
  device.Open = true;
  handle = static_cast<MidiHandle>(id) + 1;
  return MMSYSERR_NOERROR;
}

MidiResult JackMidiSystem::Connect(Device& device) {
  jack_port_t* port = device.Port.load();
  if (port != nullptr && jack_port_connected_to(port, device.Destination.c_str())) {
    return MMSYSERR_NOERROR;  // the connection of an earlier opening still stands
  }
  if (jack_port_by_name(client_, device.Destination.c_str()) == nullptr) {
    return texts_.Fail(MIDIERR_NODEVICE,
                       "The MIDI port \"" + device.Destination + "\" is no longer present.");
  }
  if (port == nullptr) {
    std::string name = kOutputPortName;
    if (registered_ > 0) name += " " + std::to_string(registered_ + 1);
    port = jack_port_register(client_, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (port == nullptr) {
      if (serverGone_.load()) return texts_.Fail(MMSYSERR_NODRIVER, NotRunningText(device));
      return texts_.Fail(MMSYSERR_NOMEM,
                         "JACK refused a new output port for \"" + device.Name + "\".");
    }
    ++registered_;
    device.Port.store(port);
  }
  const int result = jack_connect(client_, jack_port_name(port), device.Destination.c_str());
  if (result != 0 && result != EEXIST) {
    if (serverGone_.load()) return texts_.Fail(MMSYSERR_NODRIVER, NotRunningText(device));
    return texts_.Fail(MIDIERR_NODEVICE,
                       "The MIDI port \"" + device.Destination + "\" could not be connected.");
  }
  // The server takes a changed graph at the start of a cycle, and the cycle under way may
  // be past our port already: after two whole cycles the connection carries every message.
  if (!WaitCycles(2, kConnectionWait) && serverGone_.load()) {
    return texts_.Fail(MMSYSERR_NODRIVER, NotRunningText(device));
  }
  return MMSYSERR_NOERROR;
}

MidiResult JackMidiSystem::ShortMessage(MidiHandle handle, std::uint32_t message) {
  Device* device = DeviceOf(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  const MidiEvent event = ShortMessageEvent(message);
  if (!device->Queue.Push(event)) return MIDIERR_NOTREADY;
  device->Sounding.Sent(event);
  return MMSYSERR_NOERROR;
}

MidiResult JackMidiSystem::Close(MidiHandle handle) {
  Device* device = DeviceOf(handle);
  if (device == nullptr) return MMSYSERR_INVALHANDLE;
  EndNotes(*device);
  device->Open = false;
  return MMSYSERR_NOERROR;
}

MidiResult JackMidiSystem::ErrorText(MidiResult code, std::string& text) {
  return texts_.ErrorText(code, text);
}

int JackMidiSystem::Process(jack_nframes_t frames, void* data) {
  auto* self = static_cast<JackMidiSystem*>(data);
  for (const std::unique_ptr<Device>& device : self->devices_) {
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

void JackMidiSystem::ShutDown(jack_status_t, const char*, void* data) {
  static_cast<JackMidiSystem*>(data)->serverGone_.store(true);
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
  const auto deadline = std::chrono::steady_clock::now() + kLastMessagesWait;
  device.Sounding.EndAll([&](const MidiEvent& noteOff) {
    while (!device.Queue.Push(noteOff)) {
      if (!active_ || serverGone_.load() || std::chrono::steady_clock::now() >= deadline) return;
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
  jack_status_t status{};
  jack_client_t* client = jack_client_open(kClientName, JackNoStartServer, &status);
  if (client == nullptr) return nullptr;
  auto system = std::make_unique<JackMidiSystem>(client, withVirtualPort);
  if (!system->Active()) return nullptr;
  return system;
}
