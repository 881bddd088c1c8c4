#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A program folder of the fuzzing process's own (data sub-folders created empty), made at
// the first call and installed as the program folder. It lives for the whole run; the
// operating system's temporary folder takes it.
const std::string& FuzzProgramFolder();

// Writes bytes as the file folder + relative, replacing what was there.
void WriteFuzzFile(const std::string& relative, const std::uint8_t* data, std::size_t size);

// Ends the run with a crash that libFuzzer records, when a property does not hold.
void Require(bool holds, const char* what);
