#pragma once

#include <mutex>

// The program's state (the configuration in use, the note engine, the device set) is the
// GUI thread's, which holds this lock while it handles an event; the key thread takes it
// to play a key between two events.
std::recursive_mutex& ProgramStateLock();
