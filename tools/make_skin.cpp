// make_skin STYLE OUTPUT.bmp
// Draws a keyboard skin: one octave with all keys up in the top half of the picture and
// the same octave with all keys down in the bottom half.
//
// The program cuts the picture up by fixed measures (W = width, H = height, H2 = H / 2,
// ww = W / 7, off = ww / 2 + 1, hb = H / 4, t = H2 - H2 / 3, all truncating):
// - white key j is the column j*ww .. (j+1)*ww - 1; a pressed white key shows only rows
//   t .. H2 - 1 of its column from the bottom half, so the upper part of a white key must
//   look the same in both halves;
// - a pressed black key shows the whole rectangle from off columns right of the left edge
//   of the white key on its left, ww wide and hb high, from the bottom half; the rectangle
//   also holds the edges of the neighbouring white keys, which must look the same in
//   both halves.
// So the bottom half is drawn as a copy of the top half in which only the black key
// bodies and the lower strips of the white keys are drawn again, pressed.
//
// Styles: "Classic" (280 x 160, 24 bits per pixel: ivory and black, pressed keys blue)
// and "Dark" (210 x 120, 8 bits per pixel with a palette: slate and black, pressed keys
// amber). The output is the same, byte for byte, on every run and platform.
#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Rgb {
  int R = 0, G = 0, B = 0;
};

// a + (b - a) * num / den per channel, in integers so the result is the same everywhere.
Rgb Mix(Rgb a, Rgb b, int num, int den) {
  if (den <= 0) return a;
  return {a.R + (b.R - a.R) * num / den, a.G + (b.G - a.G) * num / den,
          a.B + (b.B - a.B) * num / den};
}

// A gradient from a to b at position num of den, in the style's number of bands.
Rgb Gradient(Rgb a, Rgb b, int num, int den, int steps) {
  if (steps > 0 && den > 0) return Mix(a, b, num * steps / den, steps);
  return Mix(a, b, num, den);
}

class Picture {
 public:
  Picture(int width, int height)
      : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height) {}
  int Width() const { return width_; }
  int Height() const { return height_; }
  Rgb At(int x, int y) const { return pixels_[Index(x, y)]; }
  void Set(int x, int y, Rgb c) { pixels_[Index(x, y)] = c; }

 private:
  std::size_t Index(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) throw std::logic_error("pixel outside");
    return static_cast<std::size_t>(y) * width_ + x;
  }
  int width_;
  int height_;
  std::vector<Rgb> pixels_;
};

// The measures by which the program cuts the picture up.
struct Layout {
  explicit Layout(int width, int height)
      : W(width),
        H(height),
        H2(height / 2),
        ww(W / 7),
        off(ww / 2 + 1),
        hb(H / 4),
        t(H2 - H2 / 3) {}
  int W, H, H2, ww, off, hb, t;
  // Artwork measures derived from them.
  int Felt() const { return std::max(1, H2 / 32); }     // dark strip above the keys
  int Lip() const { return std::max(2, H2 / 14); }      // front edge of a white key
  int BlackWidth() const { return (ww * 3 / 5) & ~1; }  // even, so it centres on a gap
  int Bevel() const { return std::max(2, hb / 6); }     // front face of a black key
};

struct WhiteLook {
  Rgb Top, Bottom;        // gradient of the key's surface
  Rgb Shine, Shade;       // left and right edges of the surface
  Rgb LipTop, LipBottom;  // the front edge
};

struct BlackLook {
  Rgb Outline;
  Rgb Top, Bottom;  // gradient of the key's surface
  Rgb Shine;        // reflection along the left side
  Rgb BevelTop, BevelBottom;
};

struct Style {
  std::string_view Name;
  int Width, Height, BitsPerPixel;
  int GradientSteps;  // 0: smooth; else the number of bands (keeps a palette small)
  Rgb Felt, Gap, Shadow;
  WhiteLook WhiteUp, WhiteDown;
  BlackLook BlackUp, BlackDown;
};

const std::array<Style, 2> Styles{{
    {"Classic",
     280,
     160,
     24,
     0,
     /*Felt*/ {96, 18, 24},
     /*Gap*/ {92, 90, 86},
     /*Shadow*/ {178, 175, 166},
     /*WhiteUp*/
     {{236, 233, 222},
      {254, 253, 248},
      {255, 255, 255},
      {214, 211, 200},
      {216, 212, 200},
      {160, 156, 146}},
     /*WhiteDown*/
     {{150, 196, 245},
      {112, 168, 236},
      {196, 224, 252},
      {88, 140, 212},
      {76, 128, 202},
      {46, 90, 160}},
     /*BlackUp*/
     {{8, 8, 10}, {46, 46, 52}, {24, 24, 28}, {92, 92, 100}, {70, 70, 78}, {38, 38, 44}},
     /*BlackDown*/
     {{10, 22, 56}, {40, 92, 190}, {24, 62, 150}, {110, 160, 235}, {82, 136, 224}, {44, 90, 180}}},
    {"Dark",
     210,
     120,
     8,
     10,
     /*Felt*/ {12, 12, 14},
     /*Gap*/ {24, 25, 30},
     /*Shadow*/ {50, 52, 60},
     /*WhiteUp*/
     {{72, 76, 88}, {96, 100, 114}, {120, 124, 138}, {60, 63, 74}, {58, 61, 72}, {36, 38, 46}},
     /*WhiteDown*/
     {{250, 176, 60}, {226, 132, 28}, {255, 210, 120}, {190, 100, 20}, {170, 88, 16}, {110, 54, 8}},
     /*BlackUp*/
     {{0, 0, 0}, {30, 30, 34}, {14, 14, 16}, {62, 62, 70}, {44, 44, 50}, {20, 20, 24}},
     /*BlackDown*/
     {{40, 18, 0}, {214, 116, 20}, {170, 84, 10}, {246, 170, 80}, {236, 146, 52}, {150, 72, 8}}},
}};

// Rows from..H2-1 of white key j in the half that starts at row y0.
void DrawWhiteKey(Picture& p, const Layout& l, const Style& s, const WhiteLook& look, int y0, int j,
                  int from) {
  const int felt = l.Felt();
  const int lipTop = l.H2 - l.Lip();
  for (int r = std::max(from, felt); r < l.H2; ++r) {
    const Rgb surface =
        r >= lipTop ? Mix(look.LipTop, look.LipBottom, r - lipTop, l.Lip() - 1)
                    : Gradient(look.Top, look.Bottom, r - felt, lipTop - 1 - felt, s.GradientSteps);
    for (int lx = 0; lx < l.ww; ++lx) {
      Rgb c = surface;
      if (lx == 0) {
        c = s.Gap;
      } else if (lx == 1 && r < lipTop) {
        c = Mix(surface, look.Shine, 2, 3);
      } else if (lx >= l.ww - 2) {
        c = Mix(surface, look.Shade, lx == l.ww - 1 ? 3 : 1, 4);
      }
      p.Set(j * l.ww + lx, y0 + r, c);
    }
  }
}

// The black key between white keys k and k + 1 in the half that starts at row y0: its
// body, centred on the gap, inside the rectangle the program copies for it.
void DrawBlackKey(Picture& p, const Layout& l, const Style& s, const BlackLook& look, int y0,
                  int k) {
  const int width = l.BlackWidth();
  const int left = (k + 1) * l.ww - width / 2;
  const int top = l.Felt();
  const int bottom = l.hb;  // exclusive
  const int bevelTop = bottom - 1 - l.Bevel();
  for (int r = top; r < bottom; ++r) {
    for (int lx = 0; lx < width; ++lx) {
      Rgb c;
      if (lx == 0 || lx == width - 1 || r == bottom - 1) {
        c = look.Outline;
      } else if (r >= bevelTop) {
        c = Mix(look.BevelTop, look.BevelBottom, r - bevelTop, bottom - 2 - bevelTop);
      } else {
        c = Gradient(look.Top, look.Bottom, r - top, bevelTop - top, s.GradientSteps);
        if (lx == 2 || lx == 3) c = Mix(c, look.Shine, lx == 2 ? 2 : 1, 3);
        if (lx == width - 2) c = Mix(c, look.Outline, 1, 2);
      }
      p.Set(left + lx, y0 + r, c);
    }
  }
}

// The shadow a black key casts on the white key to its right (keys up and down alike).
void DrawShadow(Picture& p, const Layout& l, const Style& s, int y0, int k) {
  const int right = (k + 1) * l.ww + l.BlackWidth() / 2;
  for (int r = l.Felt(); r < l.hb; ++r) {
    for (int i = 0; i < 2; ++i) {
      const Rgb under = p.At(right + i, y0 + r);
      p.Set(right + i, y0 + r, Mix(s.Shadow, under, i, 2));
    }
  }
}

constexpr std::array<int, 5> BlackKeysAfter{0, 1, 3, 4, 5};  // C#, D#, F#, G#, A#

Picture PaintSkin(const Style& s) {
  const Layout l(s.Width, s.Height);
  if (l.W % 7 != 0 || l.H % 2 != 0 || l.ww < 10 || l.H2 < 12) {
    throw std::logic_error("unsupported skin size");
  }
  Picture p(l.W, l.H);

  // Keys up.
  for (int r = 0; r < l.Felt(); ++r) {
    for (int x = 0; x < l.W; ++x) p.Set(x, r, Mix(s.Felt, {0, 0, 0}, r, l.Felt() + 2));
  }
  for (int j = 0; j < 7; ++j) DrawWhiteKey(p, l, s, s.WhiteUp, 0, j, 0);
  for (int k : BlackKeysAfter) {
    DrawShadow(p, l, s, 0, k);
    DrawBlackKey(p, l, s, s.BlackUp, 0, k);
  }

  // Keys down: the same picture with the pressed parts drawn again.
  for (int r = 0; r < l.H2; ++r) {
    for (int x = 0; x < l.W; ++x) p.Set(x, l.H2 + r, p.At(x, r));
  }
  for (int j = 0; j < 7; ++j) DrawWhiteKey(p, l, s, s.WhiteDown, l.H2, j, l.t);
  for (int k : BlackKeysAfter) DrawBlackKey(p, l, s, s.BlackDown, l.H2, k);
  return p;
}

void Put(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

char Byte(int v) { return static_cast<char>(static_cast<std::uint8_t>(std::clamp(v, 0, 255))); }

// A BMP file: file header, BITMAPINFOHEADER, palette, rows bottom-up padded to 4 bytes.
std::string EncodeBmp(const Picture& p, int bitsPerPixel) {
  std::vector<Rgb> palette;
  std::map<std::uint32_t, std::uint8_t> paletteIndex;
  auto key = [](Rgb c) {
    return static_cast<std::uint32_t>(std::clamp(c.R, 0, 255) << 16 | std::clamp(c.G, 0, 255) << 8 |
                                      std::clamp(c.B, 0, 255));
  };
  if (bitsPerPixel == 8) {
    for (int y = 0; y < p.Height(); ++y) {
      for (int x = 0; x < p.Width(); ++x) {
        if (paletteIndex.count(key(p.At(x, y))) != 0) continue;
        if (palette.size() == 256) throw std::logic_error("more than 256 colours");
        paletteIndex[key(p.At(x, y))] = static_cast<std::uint8_t>(palette.size());
        palette.push_back(p.At(x, y));
      }
    }
  }
  const int bytesPerPixel = bitsPerPixel / 8;
  const std::uint32_t stride = (static_cast<std::uint32_t>(p.Width()) * bytesPerPixel + 3) & ~3u;
  const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(p.Height());
  const std::uint32_t dataOffset = 14 + 40 + 4 * static_cast<std::uint32_t>(palette.size());

  std::string out;
  out += "BM";
  Put(out, dataOffset + imageSize, 4);
  Put(out, 0, 4);  // reserved
  Put(out, dataOffset, 4);
  Put(out, 40, 4);  // size of the info header
  Put(out, static_cast<std::uint32_t>(p.Width()), 4);
  Put(out, static_cast<std::uint32_t>(p.Height()), 4);  // positive: bottom-up
  Put(out, 1, 2);                                       // colour planes
  Put(out, static_cast<std::uint32_t>(bitsPerPixel), 2);
  Put(out, 0, 4);  // no compression
  Put(out, imageSize, 4);
  Put(out, 2835, 4);  // 72 dots per inch, as pixels per metre
  Put(out, 2835, 4);
  Put(out, static_cast<std::uint32_t>(palette.size()), 4);
  Put(out, 0, 4);  // all colours important
  for (const Rgb& c : palette) {
    out += {Byte(c.B), Byte(c.G), Byte(c.R), 0};
  }
  for (int y = p.Height() - 1; y >= 0; --y) {
    const std::size_t rowStart = out.size();
    for (int x = 0; x < p.Width(); ++x) {
      const Rgb c = p.At(x, y);
      if (bitsPerPixel == 8) {
        out.push_back(static_cast<char>(paletteIndex.at(key(c))));
      } else {
        out += {Byte(c.B), Byte(c.G), Byte(c.R)};
      }
    }
    out.append(rowStart + stride - out.size(), '\0');
  }
  return out;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto up = [](char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; };
           return up(x) == up(y);
         });
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::cerr << "usage: make_skin STYLE OUTPUT.bmp   (STYLE: Classic or Dark)\n";
    return 2;
  }
  const Style* style = nullptr;
  for (const Style& s : Styles) {
    if (SameIgnoringCase(s.Name, argv[1])) style = &s;
  }
  if (style == nullptr) {
    std::cerr << "make_skin: unknown style " << argv[1] << "\n";
    return 2;
  }

  std::string bytes;
  try {
    bytes = EncodeBmp(PaintSkin(*style), style->BitsPerPixel);
  } catch (const std::exception& error) {
    std::cerr << "make_skin: " << error.what() << "\n";
    return 1;
  }
  std::ofstream output(argv[2], std::ios::binary | std::ios::trunc);
  output.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  output.close();
  if (!output) {
    std::cerr << "make_skin: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
