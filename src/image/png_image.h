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
// image is decoded a row at a time through a RowRing (on a thread of its
// own when asked), so that the tiling reads each row as soon as it is
// decoded. The rest of the image is decoded too: only the whole file tells
// whether it is sound, so the verdict comes from finish(). An interlaced
// image is decoded whole, before decode() returns.

#ifndef TESSARN_IMAGE_PNG_IMAGE_H_
#define TESSARN_IMAGE_PNG_IMAGE_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "image/image_problem.h"
#include "image/palette.h"
#include "image/pixel_grid.h"
#include "image/row_ring.h"

struct spng_ctx;
struct spng_ihdr;

namespace tessarn {

bool isPng(const uint8_t* data, size_t size);

// Starts reading the PNG file in `data` (which must outlive the context):
// a libspng context, its chunk memory capped, and the header read into
// `*header`. kUnreadablePng (or kOutOfMemory) if that fails; the context
// is set either way, for the caller to free.
ImageProblem startPng(const uint8_t* data, size_t size, spng_ctx** context, struct spng_ihdr* header);
// A libspng error as an image problem: kUnreadablePng, or kOutOfMemory if
// it ran out of memory.
ImageProblem pngProblemOf(int error);

class PngImage : private RowRing::Producer {
 public:
  PngImage();
  PngImage(const PngImage&) = delete;
  PngImage& operator=(const PngImage&) = delete;
  // Stops the decoding, if it is still going.
  ~PngImage() override;

  // Reads the header of the PNG file in `data` (which must outlive this) and
  // runs the checks above.
  ImageProblem open(const uint8_t* data, size_t size);
  int64_t width() const { return width_; }
  int64_t height() const { return height_; }
  int bitDepth() const { return bitDepth_; }
  // The PLTE chunk's colours, or for a greyscale image the grey of every
  // sample value.
  Palette palette() const;

  // Starts decoding, keeping rows [first, last) of the image (clipped to
  // it) for `grid`, in about `budget` bytes of memory from `storage` (a ring
  // of rows, where they do not all fit); on a thread of its own if
  // `on_thread`. kUnreadablePng for an interlaced image that cannot be
  // decoded (kOutOfMemory if libspng ran out of memory for it); any other
  // failure is reported by finish(). Our own memory running out is a
  // std::bad_alloc.
  ImageProblem decode(int64_t first, int64_t last, bool on_thread, size_t budget, RowStorage* storage,
                      PixelGrid* grid);
  // Decodes the rest of the image: kNone, kUnreadablePng, or kOutOfMemory
  // if libspng ran out (on the decoder's thread, memory running out is
  // handed back as a value).
  ImageProblem finish();

 private:
  bool step(RowRing* ring) override;
  ImageProblem decodeInterlaced(PixelGrid* grid);

  spng_ctx* context_;
  int64_t width_ = 0;
  int64_t height_ = 0;
  int bitDepth_ = 8;
  bool interlaced_ = false;
  bool greyscale_ = false;
  size_t rowBytes_ = 0;
  int64_t nextRow_ = 0;                 // the next row to decode
  std::unique_ptr<uint8_t[]> scratch_;  // one packed row
  std::unique_ptr<uint8_t[]> pixels_;   // the whole interlaced image
  RowRing ring_;
};

}  // namespace tessarn

#endif  // TESSARN_IMAGE_PNG_IMAGE_H_
