// Decoding of run-length BMP pixel data, 8 bits (RLE8) or 4 bits (RLE4) a
// pixel.
//
// The data is a sequence of byte pairs:
//   (n > 0, v)        n pixels: index v (RLE8), or the two indices in v's
//                     nibbles, high nibble first, taking turns (RLE4)
//   (0, 0)            end of line: next row, first column
//   (0, 1)            end of bitmap
//   (0, 2, dx, dy)    move dx columns right and dy rows on
//   (0, n >= 3) ...   n literal indices: n bytes (RLE8), or (n + 1) / 2
//                     bytes, high nibble first (RLE4); either padded to an
//                     even number of bytes
// Rows are decoded in stored order into a width x rows buffer of one byte a
// pixel, which the caller has filled with index 0. Pixels past a row's end
// or past the last row are dropped, and data that ends early ends decoding:
// nothing is read or written outside either buffer.

#ifndef TESSARN_IMAGE_RUN_LENGTH_H_
#define TESSARN_IMAGE_RUN_LENGTH_H_

#include <cstddef>
#include <cstdint>

namespace tessarn {

// `bit_count` is 8 or 4. Returns false if the data ended, without an end
// of bitmap, before the last row was whole: the file was cut short, and
// the rest of the pixels are left as they were.
bool decodeRunLength(const uint8_t* data, size_t size, int bit_count, int64_t width,
                     int64_t rows, uint8_t* out);

}  // namespace tessarn

#endif  // TESSARN_IMAGE_RUN_LENGTH_H_
