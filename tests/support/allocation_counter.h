#pragma once

// Linking this in replaces the global allocation functions with counting ones, so that
// a test can assert that a path allocates nothing.
void StartCountingAllocations();
// Stops counting and gives the allocations made since the start.
long StopCountingAllocations();
