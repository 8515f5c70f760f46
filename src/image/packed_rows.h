// Rows of palette indices packed 1, 2 or 4 to a byte, leftmost pixel in the
// most significant bits (as BMP and PNG store them), spread out to one byte
// a pixel, which the tiling reads fastest.

#ifndef TESSARN_IMAGE_PACKED_ROWS_H_
#define TESSARN_IMAGE_PACKED_ROWS_H_

#include <cstdint>

namespace tessarn {

// Spreads the first `width` pixels of a row of `bit_depth` (1, 2, 4 or 8)
// bits a pixel into `out`.
void unpackRow(int bit_depth, const uint8_t* packed, int64_t width, uint8_t* out);

}  // namespace tessarn

#endif  // TESSARN_IMAGE_PACKED_ROWS_H_
