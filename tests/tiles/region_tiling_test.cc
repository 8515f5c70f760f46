#include "tiles/region_tiling.h"

#include <random>

#include <gtest/gtest.h>

#include "run/run_driver.h"
#include "support/bmp_writer.h"

namespace tessarn {
namespace {

using testing::BmpSpec;

// Decodes map words and patterns back into colour numbers.
int colourAt(const std::string& bin, size_t map_words, int tiles_wide, int64_t dx, int64_t dy) {
  auto word = [&](size_t i) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bin[2 * i]) |
                                 static_cast<uint8_t>(bin[2 * i + 1]) << 8);
  };
  uint16_t map = word(static_cast<size_t>((dy / 8) * tiles_wide + dx / 8));
  int r = static_cast<int>(dy % 8);
  int i = static_cast<int>(dx % 8);
  if (map & 0x8000) r = 7 - r;
  int bit = (map & 0x4000) ? i : 7 - i;
  uint16_t row = word(map_words + (map & 0x3FFF) * 8 + r);
  return ((row >> bit) & 1) | ((row >> (bit + 8)) & 1) << 1;
}

// Random images of every kind, random rectangles (some reaching outside),
// random colours: the map words and patterns must give back every pixel's
// colour number.
TEST(RegionTilingTest, RoundTripsRandomImages) {
  std::mt19937 random(2024);
  for (int trial = 0; trial < 60; ++trial) {
    BmpSpec bmp;
    bmp.width = 1 + static_cast<int>(random() % 40);
    bmp.height = 1 + static_cast<int>(random() % 40);
    bmp.bitCount = trial % 5 == 4 ? 1 : 8;
    bmp.topDown = trial % 3 == 1;
    bmp.runLength = bmp.bitCount == 8 && trial % 4 == 2;
    bmp.coreHeader = !bmp.topDown && !bmp.runLength && trial % 7 == 0;
    const int palette = bmp.bitCount == 1 ? 2 : 6;
    for (int i = 0; i < bmp.width * bmp.height; ++i) {
      bmp.pixels.push_back(static_cast<uint8_t>(random() % palette));
    }
    int32_t colours[4];
    // Some colours select nothing: -1, or 256 + i, whose low byte is a
    // palette index in use.
    for (int32_t& c : colours) {
      c = static_cast<int32_t>(random() % (palette + 2)) - 1;
      if (random() % 8 == 0) c += 257;
    }
    const int32_t x = static_cast<int32_t>(random() % 20) - 8;
    const int32_t y = static_cast<int32_t>(random() % 20) - 8;
    const int32_t w = 1 + static_cast<int32_t>(random() % 40);
    const int32_t h = 1 + static_cast<int32_t>(random() % 40);

    MemoryFileSystem files;
    files.files["r.bmp"] = testing::writeBmp(bmp);
    files.files["tessarn.txt"] = "r.bmp " + std::to_string(x) + " " + std::to_string(y) + " " +
                                 std::to_string(w) + " " + std::to_string(h) + " r.bin " +
                                 std::to_string(colours[0]) + " " + std::to_string(colours[1]) +
                                 " " + std::to_string(colours[2]) + " " + std::to_string(colours[3]);
    MemoryFileSystem console_files;
    std::unique_ptr<WriteStream> out = console_files.create("console");
    ASSERT_EQ(runMain(&files, out.get()), 0);

    const int tiles_wide = (w + 7) / 8;
    const int tiles_high = (h + 7) / 8;
    const std::string& bin = files.files["r.bin"];
    const size_t map_words = static_cast<size_t>(tiles_wide) * tiles_high;
    for (int64_t dy = 0; dy < tiles_high * 8; ++dy) {
      for (int64_t dx = 0; dx < tiles_wide * 8; ++dx) {
        int64_t px = x + dx;
        int64_t py = y + dy;
        int expected = 0;
        if (px >= 0 && px < bmp.width && py >= 0 && py < bmp.height) {
          uint8_t index = bmp.pixels[py * bmp.width + px];
          for (int k = 3; k >= 0; --k) {
            if (colours[k] == index) expected = k;
          }
        }
        ASSERT_EQ(colourAt(bin, map_words, tiles_wide, dx, dy), expected)
            << "trial " << trial << " pixel " << px << "," << py;
      }
    }
  }
}

}  // namespace
}  // namespace tessarn
