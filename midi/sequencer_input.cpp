#include "sequencer_input.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

#include "midi_input.h"

struct SequencerInput::Sequencer {
  snd_seq_t* Handle = nullptr;
  int Port = -1;
  int Stop = -1;  // an eventfd that ends the reader's wait
  std::thread Reader;

  ~Sequencer() {
    if (Reader.joinable()) {
      const std::uint64_t one = 1;
      [[maybe_unused]] const ssize_t written = write(Stop, &one, sizeof one);
      Reader.join();
    }
    if (Stop >= 0) close(Stop);
    if (Handle != nullptr) snd_seq_close(Handle);
    IncomingMidi().SenderGone();  // the port goes with the client
  }

  void Read();
  // Hands one event of the port to the feed.
  void Take(const snd_seq_event_t& event);
};

void SequencerInput::Sequencer::Take(const snd_seq_event_t& event) {
  MidiInputFeed& feed = IncomingMidi();
  const auto channel = static_cast<std::uint8_t>(event.data.note.channel & 0x0F);
  switch (event.type) {
    case SND_SEQ_EVENT_NOTEON:
    case SND_SEQ_EVENT_NOTEOFF: {
      const std::uint8_t bytes[3] = {
          static_cast<std::uint8_t>((event.type == SND_SEQ_EVENT_NOTEON ? 0x90 : 0x80) | channel),
          static_cast<std::uint8_t>(event.data.note.note & 0x7F),
          static_cast<std::uint8_t>(event.data.note.velocity & 0x7F)};
      feed.Arrived(bytes, 3);
      break;
    }
    case SND_SEQ_EVENT_CONTROLLER: {
      const std::uint8_t bytes[3] = {
          static_cast<std::uint8_t>(0xB0 | (event.data.control.channel & 0x0F)),
          static_cast<std::uint8_t>(event.data.control.param & 0x7F),
          static_cast<std::uint8_t>(event.data.control.value & 0x7F)};
      feed.Arrived(bytes, 3);
      break;
    }
    case SND_SEQ_EVENT_PORT_UNSUBSCRIBED:
      if (event.data.connect.dest.port == Port) feed.SenderGone();
      break;
    default:
      break;
  }
}

void SequencerInput::Sequencer::Read() {
  const int count = snd_seq_poll_descriptors_count(Handle, POLLIN);
  std::vector<pollfd> fds(static_cast<std::size_t>(count) + 1);
  snd_seq_poll_descriptors(Handle, fds.data() + 1, static_cast<unsigned int>(count), POLLIN);
  fds[0] = {Stop, POLLIN, 0};
  for (;;) {
    if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
    if (fds[0].revents != 0) return;
    for (;;) {
      snd_seq_event_t* event = nullptr;
      const int result = snd_seq_event_input(Handle, &event);
      if (result == -ENOSPC) {
        // Messages were lost, note-offs among them maybe: nothing lit can be trusted.
        IncomingMidi().SenderGone();
        continue;
      }
      if (result < 0 || event == nullptr) break;  // -EAGAIN: nothing more now
      Take(*event);
    }
  }
}

std::unique_ptr<SequencerInput> SequencerInput::Open() {
  auto sequencer = std::make_unique<Sequencer>();
  if (snd_seq_open(&sequencer->Handle, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) {
    sequencer->Handle = nullptr;
    return nullptr;
  }
  // A client name of its own, as the virtual output has ("Tessivar:Tessivar"): the
  // sequencer's tools find a port by its client's name, and "Tessivar" names several.
  snd_seq_set_client_name(sequencer->Handle, kInputPortName);
  sequencer->Port = snd_seq_create_simple_port(
      sequencer->Handle, kInputPortName, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
      SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  sequencer->Stop = eventfd(0, EFD_CLOEXEC);
  if (sequencer->Port < 0 || sequencer->Stop < 0) return nullptr;
  Sequencer& reading = *sequencer;
  sequencer->Reader = std::thread([&reading] { reading.Read(); });
  return std::make_unique<SequencerInput>(std::move(sequencer));
}

SequencerInput::SequencerInput(std::unique_ptr<Sequencer> sequencer)
    : sequencer_(std::move(sequencer)) {}

SequencerInput::~SequencerInput() = default;

SequencerAddress SequencerInput::Address() const {
  return {snd_seq_client_id(sequencer_->Handle), sequencer_->Port};
}
