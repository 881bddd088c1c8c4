#pragma once

#include <functional>

// Every JACK client of the program goes away with its server, and the JACK library breaks
// (closing the old client crashes) once a new client was opened while one whose server
// went away is still open. So whoever is about to open a client again after its server
// went away first has every other holder of a client let go of it.

// Registers how to let go of a client once its server went away; the number ends it.
int AddJackLossListener(std::function<void()> letGo);
void RemoveJackLossListener(int listener);
// Runs every registered letGo, on the calling thread (the one that plays).
void TellJackServerLost();
