// A job's image file, open for reading (a "bitmap" is the job list's word
// for any image it names, BMP or PNG: loadBitmap() opens either, and the
// PNG's own reading is png_image.h); and a BMP's checks, palette and the
// addressing of its pixels.
//
// checkBitmap() runs the checks in order and stops at the first that fails:
//   1. kNotBmp: shorter than 18 bytes, not starting with "BM", an info
//      header size other than 12 (core header) or 40 and up, or too short
//      for the header fields read (26 bytes for a core header, 34 for an
//      info header).
//   2. kNotIndexed: bits per pixel other than 1, 4 or 8 (or, where full
//      colour is read, 24 or 32).
//   3. kUnsupportedCompression: compression other than none, run-length 8
//      for 8 bits per pixel or run-length 4 for 4 (or bit fields for 32);
//      also a run-length image of more than 2^28 pixels.
//   4. kNotBmp: width below 1, height 0, uncompressed pixels running past
//      the end of the file, or run-length data starting past it.
// A core header has 16-bit unsigned width and height and no compression; an
// info header has signed 32-bit ones, and a negative height means the rows
// are stored top-down.
//
// An accepted bitmap's rows are read as the tiling needs them (bmp_rows.h),
// or, for run-length data and rows too wide for that, makePixelGrid()
// addresses them in the whole file, mapped, decoding run-length data into a
// buffer of its own.

#ifndef TESSARN_IMAGE_BITMAP_IMAGE_H_
#define TESSARN_IMAGE_BITMAP_IMAGE_H_

#include <array>
#include <cstddef>
#include <memory>
#include <cstdint>
#include <string>

#include "image/image_problem.h"
#include "image/palette.h"
#include "image/pixel_grid.h"
#include "io/file_system.h"

namespace tessarn {

// The job's image file (a BMP or a PNG), open, and its first bytes.
struct BitmapImage {
  std::unique_ptr<RandomAccessFile> file;
  // Enough for the PNG signature and every BMP header field read; all of
  // the file if it is shorter.
  std::array<uint8_t, 64> head{};
  size_t headSize = 0;
};

// Opens the named file and reads its first bytes: kMissing if it cannot be
// opened or read.
ReadStatus loadBitmap(FileSystem* files, const std::string& name, BitmapImage* image);

struct BitmapHeader {
  uint32_t headerSize = 0;   // of the info or core header
  uint32_t pixelOffset = 0;  // bfOffBits
  int64_t width = 0;
  int64_t height = 0;        // absolute value
  bool topDown = false;
  int bitCount = 0;
  bool runLength = false;
  // 32 bits a pixel: the channels' bit masks, red, green, blue and alpha
  // (0: none); BGRX without bit fields.
  uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
};

// Runs the checks above on a whole file; with `full_colour`, 24 and 32 bits
// a pixel are read too.
ImageProblem checkBitmap(const BitmapImage& image, BitmapHeader* header, bool full_colour = false);

// The colour table of an accepted bitmap: as many entries as the header
// says (all 2^bitCount if it does not), as far as they lie before the pixels
// and inside the file.
Palette bitmapPalette(const BitmapImage& image, const BitmapHeader& header);

// Bytes per stored row: bitCount * width bits rounded up to whole 32-bit words.
int64_t rowStride(int bit_count, int64_t width);

// Addresses the pixels of an accepted bitmap in the whole file, read into
// `whole`. Run-length data is decoded into `decoded`; `*cut_short` says
// whether it ended before the last row (the rest being index 0).
// kReadFailed if the file cannot be read (it changed since it was checked).
ImageProblem makePixelGrid(const BitmapImage& image, const BitmapHeader& header, FileBytes* whole,
                           FileBytes* decoded, PixelGrid* grid, bool* cut_short);

}  // namespace tessarn

#endif  // TESSARN_IMAGE_BITMAP_IMAGE_H_
