// make_icon SIZE OUTPUT.png
// Draws the application icon: a small keyboard seen from above (a dark case with a panel
// strip, eight white keys and their five black keys, one key pressed in blue) on a
// transparent background, SIZE x SIZE pixels, as a PNG file.
//
// The drawing is laid out on a 48 x 48 grid and sampled 4 x 4 times per pixel, so edges
// are smooth at any size. Everything is integer arithmetic, and the PNG is written with
// uncompressed (stored) blocks: the output is the same, byte for byte, on every run and
// platform.
#include <array>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Rgba {
  int R = 0, G = 0, B = 0, A = 0;
};

constexpr int Grid = 48;    // design units across the icon
constexpr int Samples = 4;  // samples per pixel and direction
constexpr int Fine = 1000;  // design units are compared in thousandths

// A rectangle in design units (left, top inclusive; right, bottom exclusive) with
// rounded corners of radius Radius.
struct Box {
  int Left, Top, Right, Bottom, Radius = 0;

  bool Holds(int x, int y) const {  // x, y in thousandths of a design unit
    const int l = Left * Fine, t = Top * Fine, r = Right * Fine, b = Bottom * Fine;
    if (x < l || x >= r || y < t || y >= b) return false;
    const int radius = Radius * Fine;
    if (radius == 0) return true;
    // Outside the quarter circle of the corner that the point lies in.
    const int cx = x < l + radius ? l + radius : (x >= r - radius ? r - radius : x);
    const int cy = y < t + radius ? t + radius : (y >= b - radius ? b - radius : y);
    const long long dx = x - cx, dy = y - cy;
    return dx * dx + dy * dy <= static_cast<long long>(radius) * radius;
  }
};

constexpr Rgba Clear{0, 0, 0, 0};
constexpr Rgba CaseOutline{22, 26, 36, 255};
constexpr Rgba CaseBody{48, 56, 74, 255};
constexpr Rgba Panel{30, 35, 48, 255};
constexpr Rgba Light{240, 170, 60, 255};
constexpr Rgba Display{110, 190, 230, 255};
constexpr Rgba WhiteKey{250, 248, 240, 255};
constexpr Rgba WhiteKeyShade{214, 210, 198, 255};
constexpr Rgba PressedKey{90, 140, 230, 255};
constexpr Rgba BlackKey{18, 18, 24, 255};

constexpr int WhiteKeys = 8;  // C to the next C
constexpr int KeysLeft = 5, KeyWidth = 5, KeysTop = 21, KeysBottom = 38;
constexpr int BlackKeyWidth = 3, BlackKeysBottom = 31;
constexpr std::array<int, 5> BlackKeysAfter{0, 1, 3, 4, 5};  // C#, D#, F#, G#, A#
constexpr int PressedWhiteKey = 2;                           // E

// The colour at one sample point, drawn back to front.
Rgba ColourAt(int x, int y) {
  const Box outline{3, 9, 46, 41, 4};
  if (!outline.Holds(x, y)) return Clear;
  Rgba colour = CaseOutline;
  if (Box{4, 10, 45, 40, 3}.Holds(x, y)) colour = CaseBody;
  if (Box{6, 12, 43, 18, 1}.Holds(x, y)) colour = Panel;
  if (Box{8, 14, 10, 16}.Holds(x, y)) colour = Light;
  if (Box{28, 13, 41, 17, 1}.Holds(x, y)) colour = Display;
  for (int j = 0; j < WhiteKeys; ++j) {
    const int left = KeysLeft + j * KeyWidth;
    // One unit of case shows between neighbouring keys.
    if (Box{left, KeysTop, left + KeyWidth - 1, KeysBottom, 0}.Holds(x, y)) {
      colour = j == PressedWhiteKey ? PressedKey : WhiteKey;
      if (j != PressedWhiteKey &&
          Box{left, KeysBottom - 2, left + KeyWidth - 1, KeysBottom}.Holds(x, y)) {
        colour = WhiteKeyShade;
      }
    }
  }
  for (int k : BlackKeysAfter) {
    const int boundary = KeysLeft + (k + 1) * KeyWidth;
    const int left = boundary - 1 - BlackKeyWidth / 2;  // centred on the gap
    if (Box{left, KeysTop, left + BlackKeyWidth, BlackKeysBottom, 0}.Holds(x, y)) colour = BlackKey;
  }
  return colour;
}

// The icon as rows of RGBA bytes, colour averaged over the samples (premultiplied by
// coverage, then divided back, so edges do not darken).
std::vector<std::uint8_t> Paint(int size) {
  std::vector<std::uint8_t> pixels;
  pixels.reserve(static_cast<std::size_t>(size) * size * 4);
  const long long scale = static_cast<long long>(size) * Samples * 2;
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      long long r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < Samples; ++sy) {
        for (int sx = 0; sx < Samples; ++sx) {
          // The middle of the sample, in thousandths of a design unit.
          const int x = static_cast<int>((2LL * (px * Samples + sx) + 1) * Grid * Fine / scale);
          const int y = static_cast<int>((2LL * (py * Samples + sy) + 1) * Grid * Fine / scale);
          const Rgba c = ColourAt(x, y);
          r += c.R * c.A;
          g += c.G * c.A;
          b += c.B * c.A;
          a += c.A;
        }
      }
      const auto channel = [a](long long sum) {
        return static_cast<std::uint8_t>(a == 0 ? 0 : (sum + a / 2) / a);
      };
      pixels.push_back(channel(r));
      pixels.push_back(channel(g));
      pixels.push_back(channel(b));
      pixels.push_back(
          static_cast<std::uint8_t>((a + Samples * Samples / 2) / (Samples * Samples)));
    }
  }
  return pixels;
}

void PutBigEndian(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (char byte : bytes) {
    crc ^= static_cast<std::uint8_t>(byte);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
  const std::string typed = std::string(type) + data;
  out += typed;
  PutBigEndian(out, Crc32(typed));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string StoredZlib(const std::string& raw) {
  std::string out = "\x78\x01";
  std::uint32_t a = 1, b = 0;
  for (char byte : raw) {
    a = (a + static_cast<std::uint8_t>(byte)) % 65521u;
    b = (b + a) % 65521u;
  }
  std::size_t at = 0;
  do {
    const std::size_t length = std::min<std::size_t>(raw.size() - at, 65535);
    const bool last = at + length == raw.size();
    out.push_back(last ? '\x01' : '\x00');
    const auto len = static_cast<std::uint16_t>(length);
    const auto nlen = static_cast<std::uint16_t>(~len);
    out += {static_cast<char>(len & 0xFF), static_cast<char>(len >> 8),
            static_cast<char>(nlen & 0xFF), static_cast<char>(nlen >> 8)};
    out.append(raw, at, length);
    at += length;
  } while (at < raw.size());
  PutBigEndian(out, (b << 16) | a);
  return out;
}

// An 8-bit RGBA PNG, every row unfiltered.
std::string EncodePng(int size, const std::vector<std::uint8_t>& pixels) {
  std::string header;
  PutBigEndian(header, static_cast<std::uint32_t>(size));
  PutBigEndian(header, static_cast<std::uint32_t>(size));
  header += {8, 6, 0, 0, 0};  // depth 8, RGBA, deflate, standard filters, no interlace
  std::string raw;
  for (int y = 0; y < size; ++y) {
    raw.push_back('\0');
    const auto row = pixels.begin() + static_cast<std::ptrdiff_t>(y) * size * 4;
    raw.append(row, row + size * 4);
  }
  std::string out = "\x89PNG\r\n\x1a\n";
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", StoredZlib(raw));
  PutChunk(out, "IEND", "");
  return out;
}

}  // namespace

int main(int argc, char* argv[]) {
  int size = 0;
  if (argc == 3) {
    try {
      size = std::stoi(argv[1]);
    } catch (const std::exception&) {
      size = 0;
    }
  }
  if (size < 16 || size > 256) {
    std::cerr << "usage: make_icon SIZE OUTPUT.png   (SIZE: 16 to 256)\n";
    return 2;
  }
  const std::string bytes = EncodePng(size, Paint(size));
  std::ofstream output(argv[2], std::ios::binary | std::ios::trunc);
  output.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  output.close();
  if (!output) {
    std::cerr << "make_icon: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
