#include "sequencer_announcements.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <utility>

struct SequencerAnnouncements::Sequencer {
  snd_seq_t* Handle = nullptr;
  ~Sequencer() {
    if (Handle != nullptr) snd_seq_close(Handle);
  }
};

namespace {

// Whether the port at address takes messages from others. The outputs this program opens
// (and those of other senders) do not: their start gives nothing new to connect to.
bool IsDestination(snd_seq_t* sequencer, const snd_seq_addr_t& address) {
  snd_seq_port_info_t* info = nullptr;
  snd_seq_port_info_alloca(&info);
  if (snd_seq_get_any_port_info(sequencer, address.client, address.port, info) < 0) return false;
  constexpr unsigned int kWritable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
  return (snd_seq_port_info_get_capability(info) & kWritable) == kWritable;
}

}  // namespace

bool SequencerAnnouncements::News::Ended(SequencerAddress address) const {
  if (TooMany) return true;
  for (std::size_t i = 0; i < GoneCount; ++i) {
    if (Gone[i].Client == address.Client && (Gone[i].Port < 0 || Gone[i].Port == address.Port)) {
      return true;
    }
  }
  return false;
}

void SequencerAnnouncements::News::AddGone(SequencerAddress address) {
  if (GoneCount == kKept) {
    TooMany = true;
    return;
  }
  Gone[GoneCount++] = address;
}

std::unique_ptr<SequencerAnnouncements> SequencerAnnouncements::Open() {
  auto sequencer = std::make_unique<Sequencer>();
  if (snd_seq_open(&sequencer->Handle, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) {
    sequencer->Handle = nullptr;
    return nullptr;
  }
  snd_seq_set_client_name(sequencer->Handle, "Tessivar");
  // Written to only through the subscription made here: no other program sees it as a
  // destination (RtMidi lists only ports others may subscribe to).
  const int port = snd_seq_create_simple_port(sequencer->Handle, "announcements",
                                              SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                              SND_SEQ_PORT_TYPE_APPLICATION);
  if (port < 0 || snd_seq_connect_from(sequencer->Handle, port, SND_SEQ_CLIENT_SYSTEM,
                                       SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0) {
    return nullptr;
  }
  return std::unique_ptr<SequencerAnnouncements>(new SequencerAnnouncements(std::move(sequencer)));
}

SequencerAnnouncements::SequencerAnnouncements(std::unique_ptr<Sequencer> sequencer)
    : sequencer_(std::move(sequencer)) {}

SequencerAnnouncements::~SequencerAnnouncements() = default;

SequencerAnnouncements::News SequencerAnnouncements::Read() {
  News news;
  for (;;) {
    snd_seq_event_t* event = nullptr;
    const int result = snd_seq_event_input(sequencer_->Handle, &event);
    if (result == -ENOSPC) {
      // The sequencer dropped announcements it had no room for: anything may have changed.
      news.Came = true;
      news.TooMany = true;
      continue;
    }
    if (result < 0 || event == nullptr) break;  // -EAGAIN: nothing more now
    switch (event->type) {
      case SND_SEQ_EVENT_PORT_START:
        if (IsDestination(sequencer_->Handle, event->data.addr)) news.Came = true;
        break;
      case SND_SEQ_EVENT_CLIENT_EXIT:
        news.AddGone({event->data.addr.client, -1});
        break;
      case SND_SEQ_EVENT_PORT_EXIT:
        news.AddGone({event->data.addr.client, event->data.addr.port});
        break;
      default:
        break;
    }
  }
  return news;
}
