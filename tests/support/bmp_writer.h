// Builds BMP files in memory for tests, examples and benchmarks: 1, 4 or 8
// bits a pixel, with an info header or the old core header, stored
// bottom-up or top-down, uncompressed or run-length encoded.

#ifndef TESSARN_TESTS_SUPPORT_BMP_WRITER_H_
#define TESSARN_TESTS_SUPPORT_BMP_WRITER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace tessarn::testing {

struct BmpSpec {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels = {};  // palette indices, row by row from the top
  int bitCount = 8;
  bool coreHeader = false;
  bool topDown = false;
  bool runLength = false;  // RLE8 or RLE4: runs of one index, a row a line
  // Colours as 0xRRGGBB; past those given, greys from black to white.
  std::vector<uint32_t> palette = {};
};

std::string writeBmp(const BmpSpec& bmp);

// A BMP with an info header and the given pixel data, already encoded: for
// hand-made run-length data and broken files.
std::string writeRawBmp(int width, int height, int bit_count, uint32_t compression,
                        const std::string& pixel_data, const std::vector<uint32_t>& colours = {});

// Appends a 32-bit little-endian value.
void put32(std::string* out, uint32_t v);

}  // namespace tessarn::testing

#endif  // TESSARN_TESTS_SUPPORT_BMP_WRITER_H_
