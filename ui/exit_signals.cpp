#include "exit_signals.h"

#include <QSocketNotifier>
#include <memory>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

namespace {

int SignalSockets[2] = {-1, -1};
volatile std::sig_atomic_t Signalled = 0;
std::function<void()> End;
std::unique_ptr<QSocketNotifier> Notifier;

// Only what is safe inside a signal handler: the GUI thread is woken through the socket.
extern "C" void OnEndSignal(int) {
  Signalled = 1;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(SignalSockets[0], &byte, 1);
}

}  // namespace

void EndOnSignals(std::function<void()> end) {
  if (Notifier != nullptr || socketpair(AF_UNIX, SOCK_STREAM, 0, SignalSockets) != 0) return;
  for (const int socket : SignalSockets) {
    fcntl(socket, F_SETFD, FD_CLOEXEC);
    fcntl(socket, F_SETFL, O_NONBLOCK);
  }
  End = std::move(end);
  Notifier = std::make_unique<QSocketNotifier>(SignalSockets[1], QSocketNotifier::Read);
  QObject::connect(Notifier.get(), &QSocketNotifier::activated, [] {
    char bytes[16];
    while (read(SignalSockets[1], bytes, sizeof bytes) > 0) {
    }
    if (End) std::exchange(End, nullptr)();
  });
  struct sigaction action {};
  action.sa_handler = &OnEndSignal;
  sigemptyset(&action.sa_mask);
  // The default comes back with the first signal: a second one ends the program at once.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) sigaction(signal, &action, nullptr);
}

bool EndSignalled() { return Signalled != 0; }

#else

void EndOnSignals(std::function<void()>) {}
bool EndSignalled() { return false; }

#endif
