#pragma once

#include <sys/types.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct _jack_client;
struct _jack_port;

// A private JACK server with the dummy driver (no sound card), started for one test.
// It gets a name of its own, and JACK_DEFAULT_SERVER points this process at it, so that
// tests running side by side never meet. Destruction stops it.
class JackServer {
 public:
  JackServer();
  ~JackServer();
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  // Empty when the server is up; otherwise why it could not be started.
  const std::string& Failure() const { return failure_; }
  // The failure was that other servers held every place JACK has, not that jackd cannot run.
  bool Busy() const { return busy_; }
  const std::string& Name() const { return name_; }
  void Stop();
  // Stops the server and starts it again under the same name; whether it answers. A client
  // of this process whose server went away must be closed first: the JACK library breaks
  // when a new client is opened beside it.
  bool Restart();

 private:
  bool Start();

  std::string name_;
  std::string logPath_;
  pid_t pid_ = -1;
  std::string failure_;
  bool busy_ = false;
};

// A JACK client with one MIDI input port "in" that records every event it receives.
class JackMidiMonitor {
 public:
  explicit JackMidiMonitor(const std::string& clientName);
  ~JackMidiMonitor();
  JackMidiMonitor(const JackMidiMonitor&) = delete;
  JackMidiMonitor& operator=(const JackMidiMonitor&) = delete;

  bool Ok() const { return client_ != nullptr && port_ != nullptr; }
  std::string PortName() const;  // "client:in"
  // Connects a source port to the monitor's input; returns once the connection carries
  // messages (the server takes a changed graph only at the start of a cycle).
  bool ConnectFrom(const std::string& source);
  bool IsConnectedTo(const std::string& source) const;
  // Every event since the last Clear, once at least count arrived or the time is up.
  std::vector<std::vector<std::uint8_t>> WaitForEvents(std::size_t count,
                                                       std::chrono::milliseconds timeout);
  std::vector<std::vector<std::uint8_t>> Events() const;
  void Clear();
  // Closes the client: its port disappears from the graph.
  void Close();

 private:
  static int Process(std::uint32_t frames, void* data);

  struct Event {
    std::uint8_t Size = 0;
    std::array<std::uint8_t, 3> Bytes{};
  };
  static constexpr std::size_t kCapacity = 4096;

  _jack_client* client_ = nullptr;
  _jack_port* port_ = nullptr;
  std::array<Event, kCapacity> events_{};
  std::atomic<std::size_t> written_{0};   // only the process thread writes events
  std::atomic<std::uint64_t> cycles_{0};  // process cycles run so far
  std::size_t readFrom_ = 0;
};

// A JACK client with count MIDI input ports "in_1" .. "in_<count>" that take nothing in:
// destinations that come with it and go with it.
class JackInputPorts {
 public:
  JackInputPorts(const std::string& clientName, int count);
  ~JackInputPorts();
  JackInputPorts(const JackInputPorts&) = delete;
  JackInputPorts& operator=(const JackInputPorts&) = delete;

  bool Ok() const { return client_ != nullptr && registered_ == count_; }

 private:
  _jack_client* client_ = nullptr;
  int count_ = 0;
  int registered_ = 0;
};

// A JACK client with two audio inputs that measures what it receives.
class JackAudioRecorder {
 public:
  explicit JackAudioRecorder(const std::string& clientName);
  ~JackAudioRecorder();
  JackAudioRecorder(const JackAudioRecorder&) = delete;
  JackAudioRecorder& operator=(const JackAudioRecorder&) = delete;

  bool Ok() const { return client_ != nullptr && ports_[0] != nullptr && ports_[1] != nullptr; }
  // Connects a source port to input 1 or 2.
  bool ConnectFrom(const std::string& source, int input);
  // Waits until frames were recorded since the last Reset; returns the RMS level over them.
  double WaitAndMeasure(std::uint64_t frames, std::chrono::milliseconds timeout);
  void Reset();

 private:
  static int Process(std::uint32_t frames, void* data);

  _jack_client* client_ = nullptr;
  std::array<_jack_port*, 2> ports_{};
  std::atomic<bool> reset_{false};
  std::atomic<double> sumOfSquares_{0.0};
  std::atomic<std::uint64_t> samples_{0};
};

// The full names of the JACK ports matching a pattern (JACK's own regular expression).
std::vector<std::string> JackPorts(const std::string& pattern);
