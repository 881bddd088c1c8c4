#include "jack_server.h"

#include <fcntl.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

void Quiet(const char*) {}

// The JACK library reports failed connection attempts on the terminal; the helpers
// below try on purpose while the server starts.
void SilenceJackLibrary() {
  jack_set_error_function(&Quiet);
  jack_set_info_function(&Quiet);
}

bool ServerAnswers() {
  jack_status_t status{};
  jack_client_t* client = jack_client_open("probe", JackNoStartServer, &status);
  if (client == nullptr) return false;
  jack_client_close(client);
  return true;
}

// Polls until done() holds or the time is up; whether it holds.
template <typename Condition>
bool WaitUntil(Condition done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::string ReadAll(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Whether any jackd process lives on this machine (a zombie counts as ended).
bool AnyJackdRunning() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    std::ifstream stat(entry.path() / "stat");
    std::string pid, command, state;
    if (stat >> pid >> command >> state && command == "(jackd)" && state != "Z") return true;
  }
  return false;
}

jack_client_t* OpenClient(const std::string& name) {
  SilenceJackLibrary();
  jack_status_t status{};
  return jack_client_open(name.c_str(), JackNoStartServer, &status);
}

}  // namespace

JackServer::JackServer() {
  static int serial = 0;
  name_ = "tessivar-test-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
  logPath_ = "/tmp/" + name_ + ".log";
  setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  SilenceJackLibrary();

  // JACK keeps at most a handful of servers per machine; when others hold every place,
  // wait for one to end.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  do {
    // Servers that were killed outright stay registered for good (jackd's own
    // --replace-registry is not accepted by its option parser). With no server alive on
    // the machine the registry holds nothing but those, and JACK makes a new one.
    if (busy_ && !AnyJackdRunning()) unlink("/dev/shm/jack-shm-registry");
    if (Start()) return;
  } while (busy_ && std::chrono::steady_clock::now() < deadline);
}

bool JackServer::Start() {
  busy_ = false;
  failure_.clear();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  // Synchronous: a client late in a cycle on a busy machine delays the cycle rather than
  // missing it, so a monitor sees every message the tests judge.
  std::vector<std::string> args = {"jackd", "-S", "-n", name_, "-d", "dummy", "-r", "48000", "-p", "256"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int spawned = posix_spawnp(&pid_, "jackd", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    pid_ = -1;
    failure_ = "jackd could not be started (is jackd2 installed?)";
    return false;
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      const std::string log = ReadAll(logPath_);
      busy_ = log.find("Too many servers") != std::string::npos;
      failure_ = "jackd ended at once: " + log;
      if (busy_) std::this_thread::sleep_for(std::chrono::milliseconds(200));
      return false;
    }
    if (ServerAnswers()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  failure_ = "jackd did not answer within 15 s: " + ReadAll(logPath_);
  Stop();
  return false;
}

JackServer::~JackServer() {
  Stop();
  unlink(logPath_.c_str());
}

void JackServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  pid_ = -1;
}

bool JackServer::Restart() {
  Stop();
  return Start();
}

JackInputPorts::JackInputPorts(const std::string& clientName, int count) : count_(count) {
  client_ = OpenClient(clientName);
  if (client_ == nullptr) return;
  for (int i = 1; i <= count; ++i) {
    const std::string name = "in_" + std::to_string(i);
    if (jack_port_register(client_, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0)) {
      ++registered_;
    }
  }
  jack_activate(client_);
}

JackInputPorts::~JackInputPorts() {
  if (client_ == nullptr) return;
  jack_deactivate(client_);
  jack_client_close(client_);
}

JackMidiMonitor::JackMidiMonitor(const std::string& clientName) {
  client_ = OpenClient(clientName);
  if (client_ == nullptr) return;
  port_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  jack_set_process_callback(client_, &JackMidiMonitor::Process, this);
  jack_activate(client_);
}

JackMidiMonitor::~JackMidiMonitor() { Close(); }

void JackMidiMonitor::Close() {
  if (client_ == nullptr) return;
  jack_deactivate(client_);
  jack_client_close(client_);
  client_ = nullptr;
  port_ = nullptr;
}

std::string JackMidiMonitor::PortName() const {
  return port_ != nullptr ? jack_port_name(port_) : std::string();
}

bool JackMidiMonitor::ConnectFrom(const std::string& source) {
  if (!Ok()) return false;
  const int result = jack_connect(client_, source.c_str(), jack_port_name(port_));
  if (result != 0 && result != EEXIST) return false;
  const std::uint64_t connectedAt = cycles_.load();
  return WaitUntil([&] { return cycles_.load() >= connectedAt + 2; }, std::chrono::seconds(3));
}

bool JackMidiMonitor::IsConnectedTo(const std::string& source) const {
  return Ok() && jack_port_connected_to(port_, source.c_str()) != 0;
}

int JackMidiMonitor::Process(std::uint32_t frames, void* data) {
  auto* self = static_cast<JackMidiMonitor*>(data);
  void* buffer = jack_port_get_buffer(self->port_, frames);
  const std::uint32_t count = jack_midi_get_event_count(buffer);
  std::size_t written = self->written_.load(std::memory_order_relaxed);
  for (std::uint32_t i = 0; i < count && written < kCapacity; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, buffer, i) != 0) continue;
    Event& slot = self->events_[written];
    slot.Size = static_cast<std::uint8_t>(event.size < 3 ? event.size : 3);
    for (std::size_t b = 0; b < slot.Size; ++b) slot.Bytes[b] = event.buffer[b];
    ++written;
  }
  self->written_.store(written, std::memory_order_release);
  self->cycles_.fetch_add(1, std::memory_order_release);
  return 0;
}

std::vector<std::vector<std::uint8_t>> JackMidiMonitor::Events() const {
  std::vector<std::vector<std::uint8_t>> events;
  const std::size_t written = written_.load(std::memory_order_acquire);
  for (std::size_t i = readFrom_; i < written; ++i) {
    const Event& event = events_[i];
    events.emplace_back(event.Bytes.begin(), event.Bytes.begin() + event.Size);
  }
  return events;
}

std::vector<std::vector<std::uint8_t>> JackMidiMonitor::WaitForEvents(
    std::size_t count, std::chrono::milliseconds timeout) {
  WaitUntil([&] { return written_.load(std::memory_order_acquire) - readFrom_ >= count; }, timeout);
  return Events();
}

void JackMidiMonitor::Clear() { readFrom_ = written_.load(std::memory_order_acquire); }

JackAudioRecorder::JackAudioRecorder(const std::string& clientName) {
  client_ = OpenClient(clientName);
  if (client_ == nullptr) return;
  ports_[0] = jack_port_register(client_, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  ports_[1] = jack_port_register(client_, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  jack_set_process_callback(client_, &JackAudioRecorder::Process, this);
  jack_activate(client_);
}

JackAudioRecorder::~JackAudioRecorder() {
  if (client_ == nullptr) return;
  jack_deactivate(client_);
  jack_client_close(client_);
}

bool JackAudioRecorder::ConnectFrom(const std::string& source, int input) {
  if (!Ok() || input < 1 || input > 2) return false;
  const int result = jack_connect(client_, source.c_str(), jack_port_name(ports_[input - 1]));
  return result == 0 || result == EEXIST;
}

int JackAudioRecorder::Process(std::uint32_t frames, void* data) {
  auto* self = static_cast<JackAudioRecorder*>(data);
  const bool reset = self->reset_.exchange(false);
  double sum = reset ? 0.0 : self->sumOfSquares_.load();
  std::uint64_t samples = reset ? 0 : self->samples_.load();
  for (_jack_port* port : self->ports_) {
    const auto* audio = static_cast<const float*>(jack_port_get_buffer(port, frames));
    for (std::uint32_t i = 0; i < frames; ++i) sum += double(audio[i]) * audio[i];
  }
  samples += 2ull * frames;
  self->sumOfSquares_.store(sum);
  self->samples_.store(samples);
  return 0;
}

void JackAudioRecorder::Reset() {
  reset_.store(true);
  WaitUntil([&] { return !reset_.load(); }, std::chrono::seconds(2));
}

double JackAudioRecorder::WaitAndMeasure(std::uint64_t frames, std::chrono::milliseconds timeout) {
  WaitUntil([&] { return samples_.load() >= 2 * frames; }, timeout);
  const std::uint64_t samples = samples_.load();
  return samples == 0 ? 0.0 : std::sqrt(sumOfSquares_.load() / double(samples));
}

std::vector<std::string> JackPorts(const std::string& pattern) {
  std::vector<std::string> names;
  jack_client_t* client = OpenClient("lister");
  if (client == nullptr) return names;
  const char** ports = jack_get_ports(client, pattern.c_str(), nullptr, 0);
  for (const char** port = ports; port != nullptr && *port != nullptr; ++port) {
    names.emplace_back(*port);
  }
  if (ports != nullptr) jack_free(ports);
  jack_client_close(client);
  return names;
}
