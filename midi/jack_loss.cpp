#include "jack_loss.h"

#include <map>
#include <mutex>
#include <utility>

namespace {

// Systems may be made on a thread of their own (see deferred_midi_system.h).
std::mutex& ListenersLock() {
  static std::mutex lock;
  return lock;
}

std::map<int, std::function<void()>>& Listeners() {
  static std::map<int, std::function<void()>> listeners;
  return listeners;
}

}  // namespace

int AddJackLossListener(std::function<void()> letGo) {
  static int last = 0;
  const std::lock_guard lock(ListenersLock());
  Listeners().emplace(++last, std::move(letGo));
  return last;
}

void RemoveJackLossListener(int listener) {
  const std::lock_guard lock(ListenersLock());
  Listeners().erase(listener);
}

void TellJackServerLost() {
  const std::lock_guard lock(ListenersLock());
  for (const auto& [number, letGo] : Listeners()) letGo();
}
