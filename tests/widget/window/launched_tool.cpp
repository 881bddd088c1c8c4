// Stands in for a companion program that a menu starts: writes the folder it was started
// in to launched.txt there.
#include <filesystem>
#include <fstream>

int main() {
  std::ofstream("launched.txt") << std::filesystem::current_path().string() << '\n';
  return 0;
}
