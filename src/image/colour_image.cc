#include "image/colour_image.h"

#include <spng.h>

#include <algorithm>
#include <bit>

#include "image/packed_rows.h"
#include "image/png_image.h"

namespace tessarn {
namespace {

uint32_t read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// The channel a bit mask picks out of a pixel, widened or narrowed to 8
// bits.
uint8_t channel(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 255;
  const int shift = std::countr_zero(mask);
  const uint32_t top = mask >> shift;
  return static_cast<uint8_t>(uint64_t{(pixel & mask) >> shift} * 255 / top);
}

}  // namespace

ColourImage::ColourImage() = default;

ColourImage::~ColourImage() { spng_ctx_free(context_); }

ImageProblem ColourImage::open(const BitmapImage& image) {
  image_ = &image;
  png_ = isPng(image.head.data(), image.headSize);
  if (!png_) {
    const ImageProblem problem = checkBitmap(image, &header_, true);
    if (problem != ImageProblem::kNone) return problem;
    indexed_ = header_.bitCount <= 8;
    if (indexed_) palette_ = bitmapPalette(image, header_);
    width_ = header_.width;
    height_ = header_.height;
    return ImageProblem::kNone;
  }
  if (image.file->readWhole(&bytes_) != ReadStatus::kOk) return ImageProblem::kReadFailed;
  spng_ihdr ihdr;
  const ImageProblem started = startPng(bytes_.data(), bytes_.size(), &context_, &ihdr);
  if (started != ImageProblem::kNone) return started;
  width_ = ihdr.width;
  height_ = ihdr.height;
  if (width_ * height_ > kMaxHeldPixels) return ImageProblem::kUnsupportedCompression;
  colourType_ = ihdr.color_type;
  bitDepth_ = ihdr.bit_depth;
  interlaced_ = ihdr.interlace_method != SPNG_INTERLACE_NONE;
  indexed_ = colourType_ == SPNG_COLOR_TYPE_INDEXED;
  if (indexed_) {
    spng_plte plte;
    if (spng_get_plte(context_, &plte) == 0) {
      for (uint32_t i = 0; i < plte.n_entries; ++i) {
        palette_.add({plte.entries[i].red, plte.entries[i].green, plte.entries[i].blue});
      }
    }
    spng_trns trns;
    if (spng_get_trns(context_, &trns) == 0) alphas_.assign(trns.type3_alpha, trns.type3_alpha + trns.n_type3_entries);
  }
  return ImageProblem::kNone;
}

ImageProblem ColourImage::readRows(int64_t first, int64_t last, const RowTaker& row) {
  first = std::clamp<int64_t>(first, 0, height_);
  last = std::clamp<int64_t>(last, first, height_);
  return png_ ? readPngRows(first, last, row) : readBmpRows(first, last, row);
}

void ColourImage::bmpRowColours(const uint8_t* stored, uint8_t* out) const {
  for (int64_t x = 0; x < width_; ++x, out += 4) {
    if (header_.bitCount == 24) {
      const uint8_t* bgr = stored + 3 * x;
      out[0] = bgr[2];
      out[1] = bgr[1];
      out[2] = bgr[0];
      out[3] = 255;
    } else {
      const uint32_t pixel = read32(stored + 4 * x);
      for (int c = 0; c < 4; ++c) out[c] = channel(pixel, header_.masks[c]);
    }
  }
}

ImageProblem ColourImage::readBmpRows(int64_t first, int64_t last, const RowTaker& row) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width_) * (indexed_ ? 1 : 4));
  if (header_.runLength) {
    FileBytes decoded;
    PixelGrid grid;
    const ImageProblem problem = makePixelGrid(*image_, header_, &bytes_, &decoded, &grid, &runLengthCutShort_);
    if (problem != ImageProblem::kNone) return problem;
    for (int64_t y = first; y < last; ++y) {
      for (int64_t x = 0; x < width_; ++x) pixels[static_cast<size_t>(x)] = grid.index(x, y);
      row(y, pixels.data());
    }
    return ImageProblem::kNone;
  }
  // Rows are read some 64 KiB at a time: one read a row would cost a call
  // into the system for every row of a big picture.
  const int64_t stride = rowStride(header_.bitCount, header_.width);
  const int64_t rows_a_read = std::max<int64_t>(1, (int64_t{64} << 10) / std::max<int64_t>(stride, 1));
  std::vector<uint8_t> stored(static_cast<size_t>(std::min(rows_a_read, last - first) * stride));
  for (int64_t y = first; y < last;) {
    const int64_t count = std::min(rows_a_read, last - y);
    // Stored rows [lowest, lowest + count): from y down in a top-down file,
    // from y up (bottom row first) in a bottom-up one.
    const int64_t lowest = header_.topDown ? y : header_.height - y - count;
    if (!image_->file->readAt(header_.pixelOffset + static_cast<uint64_t>(lowest * stride), stored.data(),
                              static_cast<size_t>(count * stride))) {
      return ImageProblem::kReadFailed;
    }
    for (int64_t i = 0; i < count; ++i, ++y) {
      const uint8_t* bytes = stored.data() + (header_.topDown ? i : count - 1 - i) * stride;
      if (indexed_ && header_.bitCount == 8) {
        row(y, bytes);  // already a byte a pixel
        continue;
      }
      if (indexed_) {
        unpackRow(header_.bitCount, bytes, width_, pixels.data());
      } else {
        bmpRowColours(bytes, pixels.data());
      }
      row(y, pixels.data());
    }
  }
  return ImageProblem::kNone;
}

ImageProblem ColourImage::readPngRows(int64_t first, int64_t last, const RowTaker& row) {
  // An indexed image keeps its indices; any other comes as 8-bit RGBA,
  // its tRNS colour key made transparent.
  const bool indexed = colourType_ == SPNG_COLOR_TYPE_INDEXED;
  const int format = indexed ? SPNG_FMT_PNG : SPNG_FMT_RGBA8;
  const size_t row_bytes = indexed ? static_cast<size_t>((width_ * bitDepth_ + 7) / 8) : static_cast<size_t>(width_ * 4);
  std::vector<uint8_t> decoded(interlaced_ ? row_bytes * static_cast<size_t>(height_) : row_bytes);
  const int flags = indexed ? 0 : SPNG_DECODE_TRNS;
  int error = interlaced_ ? spng_decode_image(context_, decoded.data(), decoded.size(), format, flags)
                          : spng_decode_image(context_, nullptr, 0, format, flags | SPNG_DECODE_PROGRESSIVE);
  std::vector<uint8_t> indices(indexed ? static_cast<size_t>(width_) : 0);
  for (int64_t y = 0; error == 0 && y < height_; ++y) {
    const uint8_t* bytes = decoded.data();
    if (interlaced_) {
      bytes += row_bytes * static_cast<size_t>(y);
    } else {
      error = spng_decode_row(context_, decoded.data(), row_bytes);
      // The last row answers "end of image" instead of 0.
      if (error == SPNG_EOI && y == height_ - 1) error = 0;
    }
    if (error != 0 || y < first || y >= last) continue;
    if (indexed) {
      unpackRow(bitDepth_, bytes, width_, indices.data());
      bytes = indices.data();
    }
    row(y, bytes);
  }
  // The chunks after the image data, up to the end marker, are checked too.
  if (error == 0) error = spng_decode_chunks(context_);
  return error == 0 ? ImageProblem::kNone : pngProblemOf(error);
}

}  // namespace tessarn
