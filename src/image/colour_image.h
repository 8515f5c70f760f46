// Any image tessarn reads, as colours: for full-colour art. A PNG of any
// colour type (1 to 16 bits a channel; indexed and grey by their palette
// and tRNS, the others by their own channels, 16 bits taken to 8), or a
// BMP of 1, 4 or 8 bits a pixel (by its palette, uncompressed or
// run-length), of 24 (blue, green, red) or of 32 (blue, green, red and an
// unused byte, or the channels bit fields name, alpha among them).
//
// The checks and messages are those of indexed images (bitmap_image.h,
// png_image.h), with the colour depths above accepted. Rows come top-down,
// as many as asked: an image with a palette gives each pixel's index (its
// colour and alpha are the palette's), any other each pixel's red, green,
// blue and alpha. A PNG is decoded to its end all the same, to check it.

#ifndef TESSARN_IMAGE_COLOUR_IMAGE_H_
#define TESSARN_IMAGE_COLOUR_IMAGE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "image/bitmap_image.h"
#include "image/image_problem.h"
#include "image/palette.h"

struct spng_ctx;

namespace tessarn {

class ColourImage {
 public:
  ColourImage();
  ColourImage(const ColourImage&) = delete;
  ColourImage& operator=(const ColourImage&) = delete;
  ~ColourImage();

  // Opens and checks the image `image` has open.
  ImageProblem open(const BitmapImage& image);
  int64_t width() const { return width_; }
  int64_t height() const { return height_; }
  // Whether its pixels have palette indices, and the palette's colours and
  // alphas (255 where it says none).
  bool indexed() const { return indexed_; }
  const Palette& palette() const { return palette_; }
  uint8_t alphaOf(uint8_t index) const { return index < alphas_.size() ? alphas_[index] : 255; }

  // Hands rows [first, last) of the image (clipped to it) to `row`, top
  // down, each `width()` pixels: indices (a byte a pixel) if the image is
  // indexed, else red, green, blue and alpha (four bytes a pixel). kNone,
  // or why the image cannot be read.
  using RowTaker = std::function<void(int64_t y, const uint8_t* pixels)>;
  ImageProblem readRows(int64_t first, int64_t last, const RowTaker& row);
  // Whether the rows read came from run-length data that ended early (the
  // rest of the pixels index 0).
  bool runLengthCutShort() const { return runLengthCutShort_; }

 private:
  ImageProblem readBmpRows(int64_t first, int64_t last, const RowTaker& row);
  ImageProblem readPngRows(int64_t first, int64_t last, const RowTaker& row);
  // One stored row of a BMP of 24 or 32 bits, as red, green, blue and
  // alpha.
  void bmpRowColours(const uint8_t* stored, uint8_t* out) const;

  const BitmapImage* image_ = nullptr;
  bool png_ = false;
  BitmapHeader header_;
  Palette palette_;
  std::vector<uint8_t> alphas_;  // a PNG palette's, from tRNS
  FileBytes bytes_;              // a PNG's, or a run-length BMP's, whole
  spng_ctx* context_ = nullptr;
  int colourType_ = 0;
  int bitDepth_ = 8;
  bool interlaced_ = false;
  bool indexed_ = false;
  bool runLengthCutShort_ = false;
  int64_t width_ = 0;
  int64_t height_ = 0;
};

}  // namespace tessarn

#endif  // TESSARN_IMAGE_COLOUR_IMAGE_H_
