#include "alsa_sequencer.h"

#include <alsa/asoundlib.h>
#include <poll.h>

namespace {

snd_seq_t* OpenSequencer(int mode) {
  snd_seq_t* seq = nullptr;
  return snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, mode) == 0 ? seq : nullptr;
}

}  // namespace

std::vector<AlsaPort> AlsaPorts() {
  std::vector<AlsaPort> ports;
  snd_seq_t* seq = OpenSequencer(0);
  if (seq == nullptr) return ports;
  snd_seq_client_info_t* client = nullptr;
  snd_seq_port_info_t* port = nullptr;
  snd_seq_client_info_malloc(&client);
  snd_seq_port_info_malloc(&port);
  snd_seq_client_info_set_client(client, -1);
  while (snd_seq_query_next_client(seq, client) == 0) {
    snd_seq_port_info_set_client(port, snd_seq_client_info_get_client(client));
    snd_seq_port_info_set_port(port, -1);
    while (snd_seq_query_next_port(seq, port) == 0) {
      ports.push_back({snd_seq_port_info_get_client(port), snd_seq_port_info_get_port(port),
                       snd_seq_client_info_get_name(client), snd_seq_port_info_get_name(port),
                       snd_seq_port_info_get_capability(port)});
    }
  }
  snd_seq_port_info_free(port);
  snd_seq_client_info_free(client);
  snd_seq_close(seq);
  return ports;
}

std::optional<AlsaPort> FindAlsaPort(const std::string& clientName, const std::string& portName) {
  for (AlsaPort& port : AlsaPorts()) {
    if (port.ClientName == clientName && port.PortName == portName) return port;
  }
  return std::nullopt;
}

AlsaMidiMonitor::AlsaMidiMonitor(const std::string& clientName) : name_(clientName) {
  seq_ = OpenSequencer(SND_SEQ_NONBLOCK);
  if (seq_ == nullptr) return;
  snd_seq_set_client_name(seq_, clientName.c_str());
  // The largest input pool the sequencer grants: a burst of a few thousand messages waits
  // there while the reader is not scheduled.
  snd_seq_set_client_pool_input(seq_, 2000);
  client_ = snd_seq_client_id(seq_);
  port_ =
      snd_seq_create_simple_port(seq_, "in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                 SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (port_ >= 0) reader_ = std::thread(&AlsaMidiMonitor::Read, this);
}

AlsaMidiMonitor::~AlsaMidiMonitor() { Close(); }

void AlsaMidiMonitor::Close() {
  stop_ = true;
  if (reader_.joinable()) reader_.join();
  if (seq_ != nullptr) snd_seq_close(seq_);
  seq_ = nullptr;
  port_ = -1;
}

bool AlsaMidiMonitor::ConnectFrom(const AlsaPort& source) {
  return Ok() && snd_seq_connect_from(seq_, port_, source.Client, source.Port) == 0;
}

void AlsaMidiMonitor::Read() {
  snd_midi_event_t* decoder = nullptr;
  if (snd_midi_event_new(16, &decoder) != 0) return;
  snd_midi_event_no_status(decoder, 1);  // every message with its status byte
  const int count = snd_seq_poll_descriptors_count(seq_, POLLIN);
  std::vector<pollfd> fds(static_cast<std::size_t>(count));
  snd_seq_poll_descriptors(seq_, fds.data(), static_cast<unsigned int>(count), POLLIN);
  while (!stop_) {
    if (poll(fds.data(), fds.size(), 20) <= 0) continue;
    snd_seq_event_t* event = nullptr;
    int result;
    while ((result = snd_seq_event_input(seq_, &event)) >= 0 || result == -ENOSPC) {
      if (result == -ENOSPC) {
        overflowed_ = true;
        continue;
      }
      unsigned char bytes[16];
      const long size = snd_midi_event_decode(decoder, bytes, sizeof bytes, event);
      if (size <= 0) continue;  // not a MIDI message (a subscription notice, ...)
      std::lock_guard lock(mutex_);
      events_.emplace_back(bytes, bytes + size);
    }
  }
  snd_midi_event_free(decoder);
}

std::vector<std::vector<std::uint8_t>> AlsaMidiMonitor::Events() {
  std::lock_guard lock(mutex_);
  return {events_.begin() + static_cast<std::ptrdiff_t>(readFrom_), events_.end()};
}

std::vector<std::vector<std::uint8_t>> AlsaMidiMonitor::WaitForEvents(
    std::size_t count, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard lock(mutex_);
      if (events_.size() - readFrom_ >= count) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return Events();
}

void AlsaMidiMonitor::Clear() {
  std::lock_guard lock(mutex_);
  readFrom_ = events_.size();
}
