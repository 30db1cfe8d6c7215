// Draws the benchmark's input pictures and saves them in the forms bench/run cuts:
//
//   dolvane_bench_pictures DIR
//
// For speed, DIR/photo-progressive.jpg (progressive, quality 100, 4:2:2, as cameras and editors
// often save), DIR/photo-baseline.jpg (the same, baseline), DIR/photo.png (24-bit) and
// DIR/photo.bmp (24-bit), all 5600 x 3200 at 350 dots per inch.
//
// For fidelity, the same scene drawn at 1600 x 1200: DIR/fidelity-444.jpg, fidelity-422.jpg and
// fidelity-420.jpg (baseline, quality 95, as cameras write them) and DIR/fidelity.png (24-bit).
//
// The picture looks like a photo to a codec: smooth gradients, hard edges and fine noise. A flat
// or purely synthetic picture compresses far better than a photo and would make every cutter
// look fast. It is drawn with integer arithmetic and a fixed-seed generator only, so every run
// on every machine writes the same pixels.
#include <FreeImage.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "cutter/pictures/picture_library.h"

namespace {

constexpr int kWidth = 5600;  // divisible by 4 and 50: every grid of the benchmark is exact
constexpr int kHeight = 3200;
constexpr int kFidelityWidth = 1600;  // even both ways: its 2 x 2 grid is exact
constexpr int kFidelityHeight = 1200;
constexpr unsigned kDotsPerMetre = 13780;  // 350 dots per inch

// splitmix64: tiny, fast and the same everywhere, unlike the standard distributions.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number in [low, high].
  int Between(int low, int high) {
    return low + static_cast<int>(Next() % static_cast<uint64_t>(high - low + 1));
  }

 private:
  uint64_t state_;
};

struct Colour {
  int r, g, b;
};

int Mix(int a, int b, int weight, int scale) {
  return a + (b - a) * weight / scale;
}

Colour Mix(Colour a, Colour b, int weight, int scale) {
  return {Mix(a.r, b.r, weight, scale), Mix(a.g, b.g, weight, scale), Mix(a.b, b.b, weight, scale)};
}

// Smooth value noise: random values on a coarse lattice, blended with a smoothstep, giving
// clouds at the lattice's scale. Values are in [-128, 127].
class ValueNoise {
 public:
  ValueNoise(Random& random, int cell, int width, int height)
      : cell_(cell), cols_(width / cell + 2) {
    lattice_.resize(static_cast<size_t>(cols_) * static_cast<size_t>(height / cell + 2));
    for (int& v : lattice_) {
      v = random.Between(-128, 127);
    }
  }
  int At(int x, int y) const {
    int cx = x / cell_;
    int cy = y / cell_;
    int fx = Smooth(x % cell_);
    int fy = Smooth(y % cell_);
    int top = Mix(Lattice(cx, cy), Lattice(cx + 1, cy), fx, kOne);
    int bottom = Mix(Lattice(cx, cy + 1), Lattice(cx + 1, cy + 1), fx, kOne);
    return Mix(top, bottom, fy, kOne);
  }

 private:
  static constexpr int kOne = 1024;
  // 3t^2 - 2t^3 in units of kOne: no kinks at the lattice lines.
  int Smooth(int offset) const {
    int64_t t = int64_t{offset} * kOne / cell_;
    return static_cast<int>(t * t * (3 * kOne - 2 * t) / (int64_t{kOne} * kOne));
  }
  int Lattice(int cx, int cy) const {
    return lattice_[static_cast<size_t>(cy) * static_cast<size_t>(cols_) + static_cast<size_t>(cx)];
  }
  int cell_;
  int cols_;
  std::vector<int> lattice_;
};

// Something with a hard outline, shaded by its own gradient: a sun or ball, or a building with
// rows of windows.
struct Shape {
  bool round;
  int left, top, right, bottom;  // bounding box; a round shape is the disc inside it
  Colour light, dark;
};

bool Inside(const Shape& s, int x, int y) {
  if (x < s.left || x >= s.right || y < s.top || y >= s.bottom) {
    return false;
  }
  if (!s.round) {
    return true;
  }
  int64_t rx = (s.right - s.left) / 2;
  int64_t dx = x - (s.left + rx);
  int64_t dy = y - (s.top + rx);
  return dx * dx + dy * dy < rx * rx;
}

Colour ShapeColour(const Shape& s, int x, int y) {
  Colour c =
      Mix(s.light, s.dark, (x - s.left) + (y - s.top), (s.right - s.left) + (s.bottom - s.top));
  // Windows: a grid of small dark rectangles with sharp edges, the finest detail in the picture.
  if (!s.round && (x - s.left) % 23 > 6 && (y - s.top) % 31 > 12) {
    c = Mix(c, Colour{20, 24, 30}, 3, 4);
  }
  return c;
}

// Shapes are sized for the large picture and scaled down with the width for a smaller one, so
// that every size shows the same kind of scene; at full size the scale changes nothing.
std::vector<Shape> MakeShapes(Random& random, int width, int height) {
  auto scaled = [width](int v) { return v * width / kWidth; };
  std::vector<Shape> shapes;
  for (int i = 0; i < 70; ++i) {
    Shape s{};
    s.round = random.Between(0, 2) == 0;
    int w = scaled(s.round ? random.Between(40, 500) : random.Between(120, 700));
    int h = s.round ? w : scaled(random.Between(300, 1700));
    s.left = random.Between(-w / 2, width - w / 2);
    s.top = s.round ? random.Between(0, height - h)
                    : height * 3 / 5 - h + scaled(random.Between(0, 400));
    s.right = s.left + w;
    s.bottom = s.top + h;
    s.light = {random.Between(90, 250), random.Between(80, 240), random.Between(60, 230)};
    s.dark = {s.light.r / 3, s.light.g / 3, s.light.b / 3};
    shapes.push_back(s);
  }
  return shapes;
}

void Draw(FIBITMAP* picture) {
  const int width = static_cast<int>(FreeImage_GetWidth(picture));
  const int height = static_cast<int>(FreeImage_GetHeight(picture));
  Random random(20261208);
  ValueNoise clouds(random, 640, width, height);
  ValueNoise texture(random, 48, width, height);
  std::vector<Shape> shapes = MakeShapes(random, width, height);
  const Colour skyTop{40, 90, 180};
  const Colour skyLow{230, 200, 170};
  const Colour groundNear{70, 60, 30};
  const Colour groundFar{120, 140, 70};
  const int horizon = height * 3 / 5;

  for (int y = 0; y < height; ++y) {
    // FreeImage stores the bottom line first.
    BYTE* line = FreeImage_GetScanLine(picture, height - 1 - y);
    for (int x = 0; x < width; ++x) {
      Colour c = y < horizon ? Mix(skyTop, skyLow, y, horizon)
                             : Mix(groundFar, groundNear, y - horizon, height - horizon);
      int shade = clouds.At(x, y) / 3 + (y >= horizon ? texture.At(x, y) / 4 : 0);
      c = {c.r + shade, c.g + shade, c.b + shade};
      // Later shapes stand in front of earlier ones.
      for (auto s = shapes.rbegin(); s != shapes.rend(); ++s) {
        if (Inside(*s, x, y)) {
          c = ShapeColour(*s, x, y);
          break;
        }
      }
      // Sensor noise: a triangular spread of up to 7 levels either way, different in each channel.
      uint64_t bits = random.Next();
      const int channels[3][2] = {{FI_RGBA_RED, c.r}, {FI_RGBA_GREEN, c.g}, {FI_RGBA_BLUE, c.b}};
      for (int k = 0; k < 3; ++k) {
        int noise =
            static_cast<int>((bits >> (16 * k)) & 7) - static_cast<int>((bits >> (16 * k + 8)) & 7);
        int v = channels[k][1] + noise;
        line[x * 3 + channels[k][0]] = static_cast<BYTE>(v < 0 ? 0 : (v > 255 ? 255 : v));
      }
    }
  }
}

struct Output {
  const char* name;
  FREE_IMAGE_FORMAT format;
  int flags;
};

// Draws the scene at the given size, at 350 dots per inch, and saves it as every output in DIR.
bool DrawAndSave(const std::string& dir, int width, int height,
                 std::initializer_list<Output> outputs) {
  Picture picture(FreeImage_Allocate(width, height, 24));
  if (!picture) {
    std::fprintf(stderr, "dolvane_bench_pictures: out of memory\n");
    return false;
  }
  Draw(picture.get());
  FreeImage_SetDotsPerMeterX(picture.get(), kDotsPerMetre);
  FreeImage_SetDotsPerMeterY(picture.get(), kDotsPerMetre);
  for (const Output& output : outputs) {
    const std::string path = dir + "/" + output.name;
    if (!FreeImage_Save(output.format, picture.get(), path.c_str(), output.flags)) {
      std::fprintf(stderr, "dolvane_bench_pictures: cannot write %s\n", path.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dolvane_bench_pictures DIR\n");
    return 2;
  }
  PictureLibrary library;
  const std::string dir = argv[1];
  bool ok = DrawAndSave(
                dir, kWidth, kHeight,
                {{"photo-progressive.jpg", FIF_JPEG, JPEG_PROGRESSIVE | JPEG_SUBSAMPLING_422 | 100},
                 {"photo-baseline.jpg", FIF_JPEG, JPEG_SUBSAMPLING_422 | 100},
                 {"photo.png", FIF_PNG, PNG_DEFAULT},
                 {"photo.bmp", FIF_BMP, BMP_DEFAULT}}) &&
            DrawAndSave(dir, kFidelityWidth, kFidelityHeight,
                        {{"fidelity-444.jpg", FIF_JPEG, JPEG_SUBSAMPLING_444 | 95},
                         {"fidelity-422.jpg", FIF_JPEG, JPEG_SUBSAMPLING_422 | 95},
                         {"fidelity-420.jpg", FIF_JPEG, JPEG_SUBSAMPLING_420 | 95},
                         {"fidelity.png", FIF_PNG, PNG_DEFAULT}});
  return ok ? 0 : 1;
}
