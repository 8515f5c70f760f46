#include "image/png_image.h"

#include <spng.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "image/packed_rows.h"
#include "image/spng_memory.h"

namespace tessarn {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// libspng keeps ancillary chunks (text, colour profiles, ...) in memory;
// a file may not make it keep more than this.
constexpr size_t kChunkMemoryLimit = size_t{32} << 20;

}  // namespace

ImageProblem pngProblemOf(int error) {
  return spngRanOutOfMemory() || error == SPNG_EMEM ? ImageProblem::kOutOfMemory : ImageProblem::kUnreadablePng;
}

ImageProblem startPng(const uint8_t* data, size_t size, spng_ctx** context, spng_ihdr* header) {
  (void)spngRanOutOfMemory();  // nothing left over from another image
  *context = spng_ctx_new2(spngAllocator(), 0);
  if (*context == nullptr) return ImageProblem::kOutOfMemory;
  spng_set_chunk_limits(*context, kChunkMemoryLimit, kChunkMemoryLimit);
  int error = spng_set_png_buffer(*context, data, size);
  if (error == 0) error = spng_get_ihdr(*context, header);
  return error == 0 ? ImageProblem::kNone : pngProblemOf(error);
}

bool isPng(const uint8_t* data, size_t size) {
  return size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

PngImage::PngImage() : context_(nullptr) {}

PngImage::~PngImage() {
  // The decoder stops before its context goes.
  ring_.stop();
  spng_ctx_free(context_);
}

ImageProblem PngImage::open(const uint8_t* data, size_t size) {
  spng_ihdr header;
  const ImageProblem started = startPng(data, size, &context_, &header);
  if (started != ImageProblem::kNone) return started;
  const bool indexed = header.color_type == SPNG_COLOR_TYPE_INDEXED ||
                       header.color_type == SPNG_COLOR_TYPE_GRAYSCALE;
  if (!indexed || header.bit_depth > 8) return ImageProblem::kNotIndexed;
  width_ = header.width;
  height_ = header.height;
  if (width_ * height_ > kMaxHeldPixels) return ImageProblem::kUnsupportedCompression;
  bitDepth_ = header.bit_depth;
  greyscale_ = header.color_type == SPNG_COLOR_TYPE_GRAYSCALE;
  interlaced_ = header.interlace_method != SPNG_INTERLACE_NONE;
  rowBytes_ = static_cast<size_t>((width_ * bitDepth_ + 7) / 8);
  return ImageProblem::kNone;
}

Palette PngImage::palette() const {
  Palette palette;
  if (greyscale_) {
    const int top = (1 << bitDepth_) - 1;
    for (int v = 0; v <= top; ++v) {
      const uint8_t grey = static_cast<uint8_t>(v * 255 / top);
      palette.add({grey, grey, grey});
    }
    return palette;
  }
  spng_plte plte;
  if (spng_get_plte(context_, &plte) != 0) return palette;
  for (uint32_t i = 0; i < plte.n_entries; ++i) {
    palette.add({plte.entries[i].red, plte.entries[i].green, plte.entries[i].blue});
  }
  return palette;
}

ImageProblem PngImage::decode(int64_t first, int64_t last, bool on_thread, size_t budget, RowStorage* storage,
                              PixelGrid* grid) {
  grid->width = width_;
  grid->height = height_;
  if (interlaced_) return decodeInterlaced(grid);
  const int64_t kept_first = std::clamp<int64_t>(first, 0, height_);
  const int64_t kept_last = std::clamp<int64_t>(last, kept_first, height_);
  scratch_.reset(new uint8_t[rowBytes_]);
  ring_.hold(std::min(first, kept_first), kept_first, kept_last, static_cast<size_t>(width_), false, budget,
             storage, grid);
  const int error = spng_decode_image(context_, nullptr, 0, SPNG_FMT_PNG, SPNG_DECODE_PROGRESSIVE);
  if (error != 0) return pngProblemOf(error);
  ring_.start(this, on_thread);
  return ImageProblem::kNone;
}

bool PngImage::step(RowRing* ring) {
  if (nextRow_ == height_) {
    // The chunks after the image data, up to the end marker, are checked too.
    const int error = spng_decode_chunks(context_);
    if (error != 0) ring->fail(pngProblemOf(error));
    ++nextRow_;
    return false;
  }
  if (nextRow_ > height_) return false;
  const int64_t r = nextRow_++;
  // Once the tiling has stopped, rows are still decoded, to check the file,
  // but no longer kept.
  const bool kept = r >= ring->first() && r < ring->last() && ring->waitForRoom(r);
  uint8_t* row = kept ? ring->rowAt(r) : nullptr;
  uint8_t* into = kept && bitDepth_ == 8 ? row : scratch_.get();
  const int error = spng_decode_row(context_, into, rowBytes_);
  // The last row answers "end of image" instead of 0.
  if (error != 0 && !(error == SPNG_EOI && r == height_ - 1)) {
    ring->fail(pngProblemOf(error));
    return false;
  }
  if (kept) {
    if (bitDepth_ != 8) unpackRow(bitDepth_, scratch_.get(), width_, row);
    ring->made(r + 1);
  }
  return true;
}

ImageProblem PngImage::decodeInterlaced(PixelGrid* grid) {
  size_t size = 0;
  int error = spng_decoded_image_size(context_, SPNG_FMT_PNG, &size);
  if (error != 0) return pngProblemOf(error);
  // Zeroed first: libspng sets the bits of indices smaller than a byte into
  // it pass by pass, and never clears them.
  pixels_.reset(new uint8_t[size]());
  error = spng_decode_image(context_, pixels_.get(), size, SPNG_FMT_PNG, 0);
  if (error == 0) error = spng_decode_chunks(context_);
  if (error != 0) return pngProblemOf(error);
  grid->rows = pixels_.get();
  grid->rowStep = static_cast<ptrdiff_t>(rowBytes_);
  grid->firstRow = 0;
  grid->bitCount = bitDepth_;
  return ImageProblem::kNone;
}

ImageProblem PngImage::finish() { return interlaced_ ? ImageProblem::kNone : ring_.finish(); }

}  // namespace tessarn
