// A job's BMP file, held whole in memory, its checks, and the addressing of
// its pixels.
//
// checkBitmap() runs the checks in order and stops at the first that fails:
//   1. Not a BMP (kNotBmp): shorter than 18 bytes, not starting with "BM",
//      an info header size other than 12 (core header) or 40 and up, or too
//      short for the header fields read (26 bytes for a core header, 34 for
//      an info header).
//   2. Bits per pixel other than 1 or 8 (kNotEightBit).
//   3. Compression other than none, or run-length for 8 bits per pixel
//      (kUnsupportedCompression); a run-length image of more than 2^28
//      pixels is refused the same way.
//   4. Not a BMP (kNotBmp): width below 1, height 0, uncompressed pixels
//      running past the end of the file, or run-length data starting past it.
// A core header has 16-bit unsigned width and height and no compression; an
// info header has signed 32-bit ones, and a negative height means the rows
// are stored top-down.
//
// makePixelGrid() then gives the palette index of every pixel of an accepted
// bitmap, decoding run-length data into a buffer of its own.

#ifndef TESSARN_BITMAP_BITMAP_IMAGE_H_
#define TESSARN_BITMAP_BITMAP_IMAGE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "run/file_system.h"
#include "run/messages.h"

namespace tessarn {

// The whole file, as read.
struct BitmapImage {
  FileBytes file;
};

// Reads the named bitmap whole: kMissing if it cannot be opened or read.
ReadStatus loadBitmap(FileSystem* files, const std::string& name, BitmapImage* image);

struct BitmapHeader {
  uint32_t pixelOffset = 0;  // bfOffBits
  int64_t width = 0;
  int64_t height = 0;        // absolute value
  bool topDown = false;
  int bitCount = 0;
  bool runLength = false;
};

enum class BitmapCheck { kAccepted, kRejected };

// Runs the checks above. On rejection `*reason` says which message applies.
BitmapCheck checkBitmap(const BitmapImage& image, BitmapHeader* header, MessageId* reason);

// Bytes per stored row: bitCount * width bits rounded up to whole 32-bit words.
int64_t rowStride(int bit_count, int64_t width);

// The palette indices of an accepted bitmap, addressed from the top row.
struct PixelGrid {
  const uint8_t* topRow = nullptr;
  ptrdiff_t rowStep = 0;  // bytes from one row to the row below it
  int64_t width = 0;
  int64_t height = 0;
  int bitCount = 8;

  // Offset of pixel (px, py)'s byte from topRow; py counts from the top.
  ptrdiff_t pixelOffset(int64_t px, int64_t py) const {
    return static_cast<ptrdiff_t>(py) * rowStep +
           static_cast<ptrdiff_t>(bitCount == 8 ? px : px >> 3);
  }
  bool contains(int64_t px, int64_t py) const {
    return px >= 0 && px < width && py >= 0 && py < height;
  }
  // Palette index of a pixel inside the image.
  uint8_t index(int64_t px, int64_t py) const {
    uint8_t byte = topRow[pixelOffset(px, py)];
    return bitCount == 8 ? byte : static_cast<uint8_t>((byte >> (7 - (px & 7))) & 1);
  }
};

// Addresses the pixels of an accepted bitmap. Run-length data is decoded
// into `decoded`; false if that buffer cannot be allocated.
bool makePixelGrid(const BitmapImage& image, const BitmapHeader& header, FileBytes* decoded,
                   PixelGrid* grid);

}  // namespace tessarn

#endif  // TESSARN_BITMAP_BITMAP_IMAGE_H_
