// The palette indices of an image, as the tiling reads them.
//
// A PixelGrid addresses rows of packed indices, 1, 2, 4 or 8 bits a pixel,
// leftmost pixel in the most significant bits of a byte. Rows are counted
// from the top of the image; the grid may hold only some of them, from
// firstRow on, and the tiling reads only the rows its rectangle covers. The
// rows may also take turns in a ring of ringRows rows, each row going where
// the row ringRows above it was.
//
// Rows may also still be arriving (an image decoded while it is tiled): then
// `feed` is set, and rows must be waited for before they are read.

#ifndef TESSARN_IMAGE_PIXEL_GRID_H_
#define TESSARN_IMAGE_PIXEL_GRID_H_

#include <cassert>
#include <cstddef>
#include <cstdint>

namespace tessarn {

// The most pixels an image may have where it is held whole in memory: a PNG
// decoded, a run-length BMP expanded, a preview drawn.
constexpr int64_t kMaxHeldPixels = int64_t{1} << 28;

class RowFeed {
 public:
  virtual ~RowFeed() = default;
  // The tiling is done with the rows above `first` and waits until the rows
  // from `first` to `end` (image rows, from the top) can be read. False if
  // they never will (the image turned out to be unreadable); the tiling then
  // stops.
  virtual bool waitForRows(int64_t first, int64_t end) = 0;
};

struct PixelGrid {
  const uint8_t* rows = nullptr;  // the first row held
  ptrdiff_t rowStep = 0;          // bytes from one row to the row below it
  int64_t firstRow = 0;           // image row that `rows` holds
  int64_t ringRows = 0;           // rows of the ring, or 0 for no ring
  int64_t width = 0;
  int64_t height = 0;
  int bitCount = 8;
  RowFeed* feed = nullptr;

  // Row py's bytes; py must be a row the grid holds.
  const uint8_t* row(int64_t py) const {
    assert(py >= firstRow && py < height);
    const int64_t held = ringRows != 0 ? (py - firstRow) % ringRows : py - firstRow;
    return rows + static_cast<ptrdiff_t>(held) * rowStep;
  }
  bool contains(int64_t px, int64_t py) const {
    return px >= 0 && px < width && py >= 0 && py < height;
  }
  // Palette index of a pixel inside the image.
  uint8_t index(int64_t px, int64_t py) const {
    const uint8_t* bytes = row(py);
    if (bitCount == 8) return bytes[px];
    const int64_t bit = px * bitCount;
    const int shift = 8 - bitCount - static_cast<int>(bit & 7);
    return static_cast<uint8_t>((bytes[bit >> 3] >> shift) & ((1 << bitCount) - 1));
  }
};

}  // namespace tessarn

#endif  // TESSARN_IMAGE_PIXEL_GRID_H_
