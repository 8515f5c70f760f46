#include "bitmap/png_image.h"

#include <spng.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <system_error>

namespace tessarn {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr int64_t kMaxPixels = int64_t{1} << 28;
// libspng keeps ancillary chunks (text, colour profiles, ...) in memory;
// a file may not make it keep more than this.
constexpr size_t kChunkMemoryLimit = size_t{32} << 20;
constexpr int64_t kRingBytes = int64_t{2} << 20;

ImageProblem problemOf(int error) {
  return error == SPNG_EMEM ? ImageProblem::kOutOfMemory : ImageProblem::kUnreadablePng;
}

using Spread = std::array<std::array<uint8_t, 8>, 256>;

// For every byte of packed indices, the indices it holds, leftmost first.
Spread spreadTable(int bit_depth) {
  Spread table{};
  const int per_byte = 8 / bit_depth;
  const int mask = (1 << bit_depth) - 1;
  for (int b = 0; b < 256; ++b) {
    for (int i = 0; i < per_byte; ++i) {
      table[b][i] = static_cast<uint8_t>(b >> (8 - bit_depth * (i + 1)) & mask);
    }
  }
  return table;
}

// Spreads a row of packed indices over one byte each.
template <int kPerByte>
void unpackRow(const Spread& table, const uint8_t* packed, int64_t width, uint8_t* out) {
  const int64_t whole = width / kPerByte;
  for (int64_t i = 0; i < whole; ++i) std::memcpy(out + i * kPerByte, table[packed[i]].data(), kPerByte);
  const int64_t rest = width - whole * kPerByte;
  if (rest > 0) std::memcpy(out + whole * kPerByte, table[packed[whole]].data(), static_cast<size_t>(rest));
}

void unpackRow(int bit_depth, const uint8_t* packed, int64_t width, uint8_t* out) {
  static const Spread kSpread1 = spreadTable(1);
  static const Spread kSpread2 = spreadTable(2);
  static const Spread kSpread4 = spreadTable(4);
  switch (bit_depth) {
    case 1:
      return unpackRow<8>(kSpread1, packed, width, out);
    case 2:
      return unpackRow<4>(kSpread2, packed, width, out);
    case 4:
      return unpackRow<2>(kSpread4, packed, width, out);
    default:
      std::memcpy(out, packed, static_cast<size_t>(width));
  }
}

}  // namespace

bool isPng(const uint8_t* data, size_t size) {
  return size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

PngImage::PngImage() : context_(nullptr) {}

PngImage::~PngImage() {
  stopDecoder();
  spng_ctx_free(context_);
}

ImageProblem PngImage::open(const uint8_t* data, size_t size) {
#ifdef TESSARN_FUZZING
  // Fuzzed inputs could hardly ever get a checksum right: they are not
  // checked, so that the fuzzer reaches the decoding behind them.
  context_ = spng_ctx_new(SPNG_CTX_IGNORE_ADLER32);
  if (context_ != nullptr) spng_set_crc_action(context_, SPNG_CRC_USE, SPNG_CRC_USE);
#else
  context_ = spng_ctx_new(0);
#endif
  if (context_ == nullptr) return ImageProblem::kOutOfMemory;
  spng_set_chunk_limits(context_, kChunkMemoryLimit, kChunkMemoryLimit);
  spng_ihdr header;
  int error = spng_set_png_buffer(context_, data, size);
  if (error == 0) error = spng_get_ihdr(context_, &header);
  if (error != 0) return problemOf(error);
  const bool indexed = header.color_type == SPNG_COLOR_TYPE_INDEXED ||
                       header.color_type == SPNG_COLOR_TYPE_GRAYSCALE;
  if (!indexed || header.bit_depth > 8) return ImageProblem::kNotIndexed;
  width_ = header.width;
  height_ = header.height;
  if (width_ * height_ > kMaxPixels) return ImageProblem::kUnsupportedCompression;
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

ImageProblem PngImage::decode(int64_t first, int64_t last, PixelGrid* grid) {
  grid->width = width_;
  grid->height = height_;
  // Through the feed the tiling learns of a decoding that failed, and stops.
  grid->feed = this;
  if (interlaced_) {
    decodeInterlaced(grid);
    return problem_ == ImageProblem::kOutOfMemory ? problem_ : ImageProblem::kNone;
  }
  first_ = std::clamp<int64_t>(first, 0, height_);
  last_ = std::clamp<int64_t>(last, first_, height_);
  rowsReleased_ = first_;
  // The kept rows go round a ring of a few megabytes when they would take
  // more: memory that stays in the cache, and no page to fault in for every
  // row of a big image. The ring holds whole bands of eight rows, counted
  // from the rectangle's top row, so a tile's rows lie one after another.
  const int64_t kept = last_ - first_;
  ringRows_ = std::max<int64_t>(16, kRingBytes / std::max<int64_t>(width_, 1) / 8 * 8);
  if (ringRows_ >= kept) ringRows_ = 0;
  const int64_t held = ringRows_ != 0 ? ringRows_ : kept;
  origin_ = ringRows_ != 0 ? first : first_;
  pixels_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(held * width_) + 1]);
  scratch_.reset(new (std::nothrow) uint8_t[rowBytes_]);
  if (!pixels_ || !scratch_) return ImageProblem::kOutOfMemory;
  grid->rows = pixels_.get();
  grid->rowStep = static_cast<ptrdiff_t>(width_);
  grid->firstRow = origin_;
  grid->ringRows = ringRows_;
  grid->bitCount = 8;
  const int error = spng_decode_image(context_, nullptr, 0, SPNG_FMT_PNG, SPNG_DECODE_PROGRESSIVE);
  if (error != 0) {
    fail(problemOf(error));
    return ImageProblem::kNone;
  }
  try {
    decoder_ = std::thread(&PngImage::decodeRows, this);
  } catch (const std::system_error&) {
    // No thread to be had: decode first, then tile, keeping every row.
    if (ringRows_ != 0) {
      ringRows_ = grid->ringRows = 0;
      origin_ = grid->firstRow = first_;
      pixels_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(kept * width_) + 1]);
      if (!pixels_) return ImageProblem::kOutOfMemory;
      grid->rows = pixels_.get();
    }
    decodeRows();
  }
  return ImageProblem::kNone;
}

uint8_t* PngImage::keptRow(int64_t row) {
  const int64_t slot = ringRows_ != 0 ? (row - origin_) % ringRows_ : row - origin_;
  return pixels_.get() + slot * width_;
}

void PngImage::decodeRows() {
  for (int64_t r = 0; r < height_; ++r) {
    // Once the tiling has stopped, rows are still decoded, to check the
    // file, but no longer kept.
    const bool kept = r >= first_ && r < last_ && waitForSlot(r);
    uint8_t* row = kept ? keptRow(r) : nullptr;
    uint8_t* into = kept && bitDepth_ == 8 ? row : scratch_.get();
    const int error = spng_decode_row(context_, into, rowBytes_);
    // The last row answers "end of image" instead of 0.
    if (error != 0 && !(error == SPNG_EOI && r == height_ - 1)) return fail(problemOf(error));
    if (kept) {
      if (bitDepth_ != 8) unpackRow(bitDepth_, scratch_.get(), width_, row);
      std::lock_guard<std::mutex> lock(mutex_);
      rowsDecoded_ = r + 1;
      if (rowsDecoded_ >= tilingWaitsFor_) rowsReady_.notify_one();
    }
  }
  // The chunks after the image data, up to the end marker, are checked too.
  const int error = spng_decode_chunks(context_);
  if (error != 0) return fail(problemOf(error));
  std::lock_guard<std::mutex> lock(mutex_);
  rowsDecoded_ = height_;
  rowsReady_.notify_one();
}

bool PngImage::waitForSlot(int64_t row) {
  if (ringRows_ == 0) return true;
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopped_) return false;
  if (row < rowsReleased_ + ringRows_) return true;
  // Wait until half the ring is free, not just one row: fewer wake-ups.
  decoderWaitsFor_ = row - ringRows_ / 2;
  slotsFree_.wait(lock, [&] { return rowsReleased_ >= decoderWaitsFor_; });
  decoderWaitsFor_ = INT64_MAX;
  return !stopped_;
}

void PngImage::decodeInterlaced(PixelGrid* grid) {
  last_ = height_;
  size_t size = 0;
  int error = spng_decoded_image_size(context_, SPNG_FMT_PNG, &size);
  if (error == 0) {
    // Zeroed first: libspng sets the bits of indices smaller than a byte
    // into it pass by pass, and never clears them.
    pixels_.reset(new (std::nothrow) uint8_t[size]());
    if (!pixels_) return fail(ImageProblem::kOutOfMemory);
    error = spng_decode_image(context_, pixels_.get(), size, SPNG_FMT_PNG, 0);
  }
  if (error == 0) error = spng_decode_chunks(context_);
  if (error != 0) fail(problemOf(error));
  rowsDecoded_ = height_;
  grid->rows = pixels_.get();
  grid->rowStep = static_cast<ptrdiff_t>(rowBytes_);
  grid->firstRow = 0;
  grid->bitCount = bitDepth_;
}

void PngImage::fail(ImageProblem problem) {
  std::lock_guard<std::mutex> lock(mutex_);
  problem_ = problem;
  rowsDecoded_ = height_;
  rowsReady_.notify_one();
}

bool PngImage::waitForRows(int64_t first, int64_t end) {
  end = std::min(end, last_);
  std::unique_lock<std::mutex> lock(mutex_);
  if (first > rowsReleased_) {
    rowsReleased_ = first;
    if (rowsReleased_ >= decoderWaitsFor_) slotsFree_.notify_one();
  }
  if (rowsDecoded_ < end) {
    tilingWaitsFor_ = end;
    rowsReady_.wait(lock, [&] { return rowsDecoded_ >= end; });
    tilingWaitsFor_ = INT64_MAX;
  }
  return problem_ == ImageProblem::kNone;
}

void PngImage::stopDecoder() {
  if (!decoder_.joinable()) return;
  {
    // The tiling may have stopped early: the rows the decoder would wait to
    // keep, nobody will read.
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    rowsReleased_ = INT64_MAX;
    slotsFree_.notify_one();
  }
  decoder_.join();
}

ImageProblem PngImage::finish() {
  stopDecoder();
  std::lock_guard<std::mutex> lock(mutex_);
  return problem_;
}

}  // namespace tessarn
