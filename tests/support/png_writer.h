// Builds PNG files in memory for tests, benchmarks and fuzz seeds, with zlib
// alone so that they owe nothing to the decoder under test: indexed or grey
// at 1 to 8 bits, interlaced or not, and (to be refused) truecolour and
// 16-bit ones; pngChunk() makes single chunks, for broken files.

#ifndef TESSARN_TESTS_SUPPORT_PNG_WRITER_H_
#define TESSARN_TESTS_SUPPORT_PNG_WRITER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace tessarn::testing {

struct PngSpec {
  int width = 0;
  int height = 0;
  // Palette indices or grey samples, row by row from the top; for colour
  // types 2 and 6 each value becomes a grey pixel of that type.
  std::vector<uint8_t> pixels;
  int colourType = 3;  // 0 grey, 2 truecolour, 3 palette, 6 truecolour with alpha
  int bitDepth = 8;
  bool interlaced = false;
};

std::string writePng(const PngSpec& png);

// One chunk: length, type, data and CRC.
std::string pngChunk(const std::string& type, const std::string& data);

}  // namespace tessarn::testing

#endif  // TESSARN_TESTS_SUPPORT_PNG_WRITER_H_
