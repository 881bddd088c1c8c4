// make_keymap SOURCE.txt OUTPUT.key
// Translates the readable text form of a key map (see keymap_source.h) into the binary
// key map file the program loads. Nothing is written when the source has an error.
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "keymap_source.h"

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::cerr << "usage: make_keymap SOURCE.txt OUTPUT.key\n";
    return 2;
  }
  const std::string sourcePath = argv[1];
  const std::string outputPath = argv[2];

  std::ifstream source(sourcePath, std::ios::binary);
  if (!source) {
    std::cerr << "make_keymap: cannot open " << sourcePath << "\n";
    return 1;
  }
  const std::string text{std::istreambuf_iterator<char>(source), std::istreambuf_iterator<char>()};

  std::string bytes;
  try {
    bytes = keymap_source::Encode(keymap_source::Parse(text));
  } catch (const std::exception& error) {
    std::cerr << sourcePath << ": " << error.what() << "\n";
    return 1;
  }

  std::ofstream output(outputPath, std::ios::binary | std::ios::trunc);
  output.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  output.close();
  if (!output) {
    std::cerr << "make_keymap: cannot write " << outputPath << "\n";
    return 1;
  }
  return 0;
}
