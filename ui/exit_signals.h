#pragma once

#include <functional>

// SIGTERM (the desktop session ends), SIGHUP (the terminal the program was started from
// closed) and SIGINT (Ctrl+C) end the program as its close box does: end runs on the GUI
// thread, between two events. A second signal while that goes on ends the program at
// once, as any of them did before. Nothing on platforms without these signals.
void EndOnSignals(std::function<void()> end);
// Whether one of those signals came (also before the message loop runs).
bool EndSignalled();
