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
  bool runLength = false;  // RLE8 or RLE4; 8 or 4 bits per pixel only
  // Colours as 0xRRGGBB; if empty, index i is a grey (i for 8 bits, else
  // spread from black to white).
  std::vector<uint32_t> palette = {};
};

std::string writeBmp(const BmpSpec& bmp);

// A BMP with an info header and the given raw pixel data (already encoded),
// for hand-made run-length data and broken files.
std::string writeRawBmp(int width, int height, int bit_count, uint32_t compression,
                        const std::string& pixel_data, const std::vector<uint32_t>& colours = {});

// Run-length data (8 or 4 bits) for the rows in stored order: runs of one
// index of up to 255 pixels, an end of line after each row, an end of
// bitmap at the end.
std::string encodeRunLength(int bit_count, int width,
                            const std::vector<std::vector<uint8_t>>& stored_rows);

// Little-endian helpers.
void put16(std::string* out, uint16_t v);
void put32(std::string* out, uint32_t v);

}  // namespace tessarn::testing

#endif  // TESSARN_TESTS_SUPPORT_BMP_WRITER_H_
