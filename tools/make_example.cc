// Writes the bundled example's bitmap, examples/scene.bmp: a 64 x 32 scene
// with a sky, an arrow shown in all four mirrorings, and a ground strip.
//
//   make_example <output directory>

#include <cstdio>
#include <string>

#include "support/bmp_writer.h"

namespace {

// An arrow pointing up and right, '.' being the sky (index 1) and digits
// palette indices.
const char* const kArrow[8] = {
    "...3333.", "....333.", "...3.33.", "..3...3.",
    ".3......", "3.......", "2.......", "22......",
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_example <output directory>\n");
    return 2;
  }
  tessarn::testing::BmpSpec bmp;
  bmp.width = 64;
  bmp.height = 32;
  bmp.pixels.assign(64 * 32, 1);
  // Index 1 sky blue, 2 soil, 3 grass green (0 is unused).
  bmp.palette = {0x000000, 0x78B4E6, 0x8B5A2B, 0x3C9E3C};
  auto arrow = [&](int tile_x, int tile_y, bool left_right, bool top_bottom) {
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) {
        char c = kArrow[top_bottom ? 7 - y : y][left_right ? 7 - x : x];
        if (c != '.') bmp.pixels[(tile_y * 8 + y) * 64 + tile_x * 8 + x] = static_cast<uint8_t>(c - '0');
      }
    }
  };
  arrow(1, 0, false, false);
  arrow(2, 0, true, false);
  arrow(5, 1, false, true);
  arrow(6, 1, true, true);
  arrow(3, 2, false, false);
  for (int x = 0; x < 64; ++x) {
    for (int y = 24; y < 32; ++y) bmp.pixels[y * 64 + x] = y == 24 ? 3 : 2;
  }
  std::string path = std::string(argv[1]) + "/scene.bmp";
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return 1;
  std::string bytes = tessarn::testing::writeBmp(bmp);
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && ok ? 0 : 1;
}
