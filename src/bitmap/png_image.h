// Indexed and greyscale PNG images, read with libspng.
//
// A file is a PNG when it starts with the 8-byte PNG signature. open() reads
// its header chunks and then checks, in order:
//   1. kUnreadablePng: libspng cannot read the chunks before the image data
//      (a bad CRC in a critical chunk, bad header values, cut short).
//   2. kNotIndexed: colour type other than 0 (greyscale) or 3 (palette), or
//      16-bit samples.
//   3. kUnsupportedCompression: more than 2^28 pixels.
// A pixel's palette index is its palette entry number, or for greyscale its
// sample value, whether or not the palette has that entry.
//
// decode() then gives the rows a rectangle needs, one byte a pixel. A plain
// image is decoded a row at a time, on a thread of its own where one can be
// started, so that the tiling reads each row as soon as it is decoded (the
// grid's feed waits for it), and rows the tiling is done with make room for
// new ones. The rest of the image is decoded too: only the whole file tells
// whether it is sound, so the verdict comes from finish(). An interlaced
// image is decoded whole, before decode() returns.

#ifndef TESSARN_BITMAP_PNG_IMAGE_H_
#define TESSARN_BITMAP_PNG_IMAGE_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <climits>
#include <memory>
#include <mutex>
#include <thread>

#include "bitmap/image_problem.h"
#include "bitmap/palette.h"
#include "bitmap/pixel_grid.h"

struct spng_ctx;

namespace tessarn {

bool isPng(const uint8_t* data, size_t size);

class PngImage : private RowFeed {
 public:
  PngImage();
  PngImage(const PngImage&) = delete;
  PngImage& operator=(const PngImage&) = delete;
  // Waits for the decoding, if it is still going.
  ~PngImage() override;

  // Reads the header of the PNG file in `data` (which must outlive this) and
  // runs the checks above.
  ImageProblem open(const uint8_t* data, size_t size);
  int64_t width() const { return width_; }
  int64_t height() const { return height_; }
  // The PLTE chunk's colours, or for a greyscale image the grey of every
  // sample value.
  Palette palette() const;

  // Starts decoding, keeping rows [first, last) of the image (clipped to
  // it) for `grid`. kOutOfMemory if their buffer cannot be had; a decoding
  // that fails is reported by finish().
  ImageProblem decode(int64_t first, int64_t last, PixelGrid* grid);
  // Waits for the whole image: kNone, kUnreadablePng or kOutOfMemory.
  ImageProblem finish();

 private:
  bool waitForRows(int64_t first, int64_t end) override;
  // Decodes every row, keeping those in [first_, last_).
  void decodeRows();
  void decodeInterlaced(PixelGrid* grid);
  // Where kept row `row` goes.
  uint8_t* keptRow(int64_t row);
  // Waits until the ring has room for `row`; false once the tiling has
  // stopped, when rows are no longer kept.
  bool waitForSlot(int64_t row);
  // The image cannot be decoded; the tiling stops at its next wait.
  void fail(ImageProblem problem);
  // Lets the decoder finish without keeping rows, and waits for it.
  void stopDecoder();

  spng_ctx* context_;
  int64_t width_ = 0;
  int64_t height_ = 0;
  int bitDepth_ = 8;
  bool interlaced_ = false;
  bool greyscale_ = false;
  size_t rowBytes_ = 0;
  int64_t first_ = 0;     // the kept rows: [first_, last_)
  int64_t last_ = 0;
  int64_t ringRows_ = 0;  // 0: every kept row has a place of its own
  int64_t origin_ = 0;    // the row held first
  std::unique_ptr<uint8_t[]> pixels_;   // the kept rows, or the whole interlaced image
  std::unique_ptr<uint8_t[]> scratch_;  // one packed row

  std::thread decoder_;
  // Between the decoder and the tiling, guarded by mutex_: rows up to
  // rowsDecoded_ may be read, rows before rowsReleased_ may be overwritten.
  std::mutex mutex_;
  std::condition_variable rowsReady_;
  std::condition_variable slotsFree_;
  int64_t rowsDecoded_ = 0;
  int64_t rowsReleased_ = 0;
  int64_t tilingWaitsFor_ = INT64_MAX;   // rowsDecoded_ the tiling waits for
  int64_t decoderWaitsFor_ = INT64_MAX;  // rowsReleased_ the decoder waits for
  bool stopped_ = false;
  ImageProblem problem_ = ImageProblem::kNone;
};

}  // namespace tessarn

#endif  // TESSARN_BITMAP_PNG_IMAGE_H_
