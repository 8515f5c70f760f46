// Decoding of 8-bit run-length (RLE8) bitmap data.
//
// The data is a sequence of byte pairs:
//   (n > 0, i)        n pixels of palette index i
//   (0, 0)            end of line: next row, first column
//   (0, 1)            end of bitmap
//   (0, 2, dx, dy)    move dx columns right and dy rows on
//   (0, n >= 3) ...   n literal indices, padded to an even byte count
// Rows are decoded in stored order into a width x rows buffer that the caller
// has filled with index 0. Pixels past a row's end or past the last row are
// dropped, and data that ends early ends decoding: nothing is read or written
// outside either buffer.

#ifndef TESSARN_BITMAP_RLE8_H_
#define TESSARN_BITMAP_RLE8_H_

#include <cstddef>
#include <cstdint>

namespace tessarn {

void decodeRle8(const uint8_t* data, size_t size, int64_t width, int64_t rows, uint8_t* out);

}  // namespace tessarn

#endif  // TESSARN_BITMAP_RLE8_H_
