#include "fake_midi_system.h"

class FakeMidiSystem::Port final : public MidiPort {
 public:
  Port(FakeMidiSystem& fake, std::uint32_t id) : fake_(fake), id_(id) {}

  Link Reach() override {
    if (const auto next = fake_.NextLink.find(id_); Open && next != fake_.NextLink.end()) {
      const Link link = next->second;
      fake_.NextLink.erase(next);
      return link;
    }
    if (Open) return Link::Kept;
    fake_.Log("open", id_, 0);
    RaiseIfIn(fake_.OpenFailure);
    Open = true;
    return Link::Made;
  }
  void Send(const MidiEvent& event) override {
    fake_.Log("short", id_, event.Bytes[0] | event.Bytes[1] << 8 | event.Bytes[2] << 16);
    RaiseIfIn(fake_.SendFailure);
  }
  void Close() override {
    fake_.Log("close", id_, 0);
    RaiseIfIn(fake_.CloseFailure);
    Open = false;
  }

  std::uint32_t Id() const { return id_; }
  bool Open = false;

 private:
  void RaiseIfIn(const std::map<std::uint32_t, std::string>& failures) const {
    if (const auto found = failures.find(id_); found != failures.end()) {
      throw AppError(found->second);
    }
  }
  FakeMidiSystem& fake_;
  std::uint32_t id_;
};

FakeMidiSystem::FakeMidiSystem(std::vector<std::string> devices) : Devices(std::move(devices)) {
  Calls.reserve(4096);
}

FakeMidiSystem::~FakeMidiSystem() = default;

void FakeMidiSystem::Log(const char* operation, std::uint32_t id, std::uint32_t value) {
  Calls.push_back({operation, id, value});
}

std::vector<std::string> FakeMidiSystem::PortNames() {
  Log("list", 0, 0);
  if (!ListFailure.empty()) throw AppError(ListFailure);
  return Devices;
}

MidiPort& FakeMidiSystem::MakePort(std::size_t position, const std::string&) {
  return *ports_.emplace_back(std::make_unique<Port>(*this, static_cast<std::uint32_t>(position)));
}

std::vector<std::uint32_t> FakeMidiSystem::MessagesTo(std::uint32_t id) const {
  std::vector<std::uint32_t> messages;
  for (const Call& call : Calls) {
    if (call.Operation == "short" && call.Id == id) messages.push_back(call.Value);
  }
  return messages;
}

std::vector<FakeMidiSystem::Call> FakeMidiSystem::CallsOf(const std::string& operation) const {
  std::vector<Call> result;
  for (const Call& call : Calls) {
    if (call.Operation == operation) result.push_back(call);
  }
  return result;
}

bool FakeMidiSystem::IsOpen(std::uint32_t id) const {
  for (const std::unique_ptr<Port>& port : ports_) {
    if (port->Id() == id && port->Open) return true;
  }
  return false;
}

FakeMidiSystem& InstallFakeMidi(std::vector<std::string> devices) {
  auto fake = std::make_unique<FakeMidiSystem>(std::move(devices));
  FakeMidiSystem& installed = *fake;
  MidiBackEnds backEnds;
  backEnds.push_back(std::move(fake));
  InstallMidiBackEnds(std::move(backEnds));
  return installed;
}

std::uint32_t ShortMessageOf(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
  return status | (data1 << 8) | (data2 << 16);
}
