#include "image/run_length.h"

namespace tessarn {

bool decodeRunLength(const uint8_t* data, size_t size, int bit_count, int64_t width,
                     int64_t rows, uint8_t* out) {
  const bool nibbles = bit_count == 4;
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
    const uint8_t count = data[at];
    const uint8_t value = data[at + 1];
    at += 2;
    if (count > 0) {
      if (nibbles) {
        const uint8_t pair[2] = {static_cast<uint8_t>(value >> 4),
                                 static_cast<uint8_t>(value & 0xF)};
        for (int i = 0; i < count; ++i) put(pair[i & 1]);
      } else {
        for (int i = 0; i < count; ++i) put(value);
      }
    } else if (value == 0) {
      x = 0;
      ++row;
    } else if (value == 1) {
      return true;
    } else if (value == 2) {
      if (size - at < 2) break;
      x += data[at];
      row += data[at + 1];
      at += 2;
    } else {
      const size_t bytes = nibbles ? (value + 1u) / 2 : value;
      for (size_t i = 0; i < bytes && at < size; ++i, ++at) {
        if (!nibbles) {
          put(data[at]);
          continue;
        }
        put(static_cast<uint8_t>(data[at] >> 4));
        if (2 * i + 1 < value) put(static_cast<uint8_t>(data[at] & 0xF));
      }
      if (bytes % 2 == 1 && at < size) ++at;
    }
  }
  // The data ran out: the image is whole only if its last row was.
  return row >= rows || (row == rows - 1 && x >= width);
}

}  // namespace tessarn
