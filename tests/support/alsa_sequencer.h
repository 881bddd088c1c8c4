#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct _snd_seq;

// A port of the ALSA sequencer as other clients see it.
struct AlsaPort {
  int Client = -1;
  int Port = -1;
  std::string ClientName;
  std::string PortName;
  unsigned int Capability = 0;  // SND_SEQ_PORT_CAP_* bits
};

// Every port of the sequencer, in the order the sequencer lists them.
std::vector<AlsaPort> AlsaPorts();
// The first port of a client of that name with that port name.
std::optional<AlsaPort> FindAlsaPort(const std::string& clientName, const std::string& portName);

// A sequencer client with one input port "in" that records every MIDI message delivered
// to it, read on a thread of its own so that its input never overflows.
class AlsaMidiMonitor {
 public:
  explicit AlsaMidiMonitor(const std::string& clientName);
  ~AlsaMidiMonitor();
  AlsaMidiMonitor(const AlsaMidiMonitor&) = delete;
  AlsaMidiMonitor& operator=(const AlsaMidiMonitor&) = delete;

  bool Ok() const { return seq_ != nullptr && port_ >= 0; }
  int Client() const { return client_; }
  // "name:in", the beginning of the name the sequencer's port list gives this port.
  std::string PortName() const { return name_ + ":in"; }
  // Subscribes the monitor's input to a source port.
  bool ConnectFrom(const AlsaPort& source);
  // Every message since the last Clear, once at least count arrived or the time is up.
  std::vector<std::vector<std::uint8_t>> WaitForEvents(std::size_t count,
                                                       std::chrono::milliseconds timeout);
  std::vector<std::vector<std::uint8_t>> Events();
  void Clear();
  // Whether the sequencer reported that messages for the monitor were dropped.
  bool Overflowed() const { return overflowed_.load(); }
  // Ends the client: its port disappears from the sequencer with its subscriptions.
  void Close();

 private:
  void Read();

  std::string name_;
  _snd_seq* seq_ = nullptr;
  int client_ = -1;
  int port_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<bool> overflowed_{false};
  std::mutex mutex_;  // guards events_ against the reading thread
  std::vector<std::vector<std::uint8_t>> events_;
  std::size_t readFrom_ = 0;
  std::thread reader_;
};
