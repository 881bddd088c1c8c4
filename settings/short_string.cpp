#include "short_string.h"

#ifdef _WIN32
#include <windows.h>
#endif

std::string_view CutAtCharacter(std::string_view s, std::size_t maxBytes) {
  if (s.size() <= maxBytes) return s;
#ifdef _WIN32
  std::size_t kept = 0;
  while (kept < maxBytes) {
    const std::size_t step = IsDBCSLeadByte(static_cast<BYTE>(s[kept])) ? 2 : 1;
    if (kept + step > maxBytes) break;
    kept += step;
  }
  return s.substr(0, kept);
#else
  // The byte at maxBytes is the first one left out. When it continues a character, the
  // character's first byte lies at most three bytes before it.
  const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const auto continues = [&](std::size_t i) { return (byteAt(i) & 0xC0) == 0x80; };
  if (!continues(maxBytes)) return s.substr(0, maxBytes);
  for (std::size_t back = 1; back <= 3 && back <= maxBytes; ++back) {
    const std::size_t start = maxBytes - back;
    if (continues(start)) continue;
    const unsigned char lead = byteAt(start);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return s.substr(0, length > back ? start : maxBytes);
  }
  return s.substr(0, maxBytes);
#endif
}
