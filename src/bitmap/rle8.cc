#include "bitmap/rle8.h"

namespace tessarn {

void decodeRle8(const uint8_t* data, size_t size, int64_t width, int64_t rows, uint8_t* out) {
  size_t at = 0;
  // Both coordinates only grow, by at most 255 per byte pair, so 64 bits
  // cannot overflow.
  int64_t x = 0;
  int64_t row = 0;
  auto put = [&](uint8_t index) {
    if (x < width) out[row * width + x] = index;
    ++x;
  };
  while (row < rows && size - at >= 2) {
    uint8_t count = data[at];
    uint8_t value = data[at + 1];
    at += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) put(value);
    } else if (value == 0) {
      x = 0;
      ++row;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      if (size - at < 2) return;
      x += data[at];
      row += data[at + 1];
      at += 2;
    } else {
      for (int i = 0; i < value && at < size; ++i) put(data[at++]);
      if (value % 2 == 1 && at < size) ++at;
    }
  }
}

}  // namespace tessarn
