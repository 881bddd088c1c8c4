#include "program_lock.h"

std::recursive_mutex& ProgramStateLock() {
  static std::recursive_mutex lock;
  return lock;
}
