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
  if (decoder_.joinable()) decoder_.join();
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
  interlaced_ = header.interlace_method != SPNG_INTERLACE_NONE;
  rowBytes_ = static_cast<size_t>((width_ * bitDepth_ + 7) / 8);
  return ImageProblem::kNone;
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
  pixels_.reset(new (std::nothrow) uint8_t[static_cast<size_t>((last_ - first_) * width_) + 1]);
  scratch_.reset(new (std::nothrow) uint8_t[rowBytes_]);
  if (!pixels_ || !scratch_) return ImageProblem::kOutOfMemory;
  grid->rows = pixels_.get();
  grid->rowStep = static_cast<ptrdiff_t>(width_);
  grid->firstRow = first_;
  grid->bitCount = 8;
  const int error = spng_decode_image(context_, nullptr, 0, SPNG_FMT_PNG, SPNG_DECODE_PROGRESSIVE);
  if (error != 0) {
    publish(height_, problemOf(error));
    return ImageProblem::kNone;
  }
  try {
    decoder_ = std::thread(&PngImage::decodeRows, this);
  } catch (const std::system_error&) {
    decodeRows();  // no thread to be had: decode first, then tile
  }
  return ImageProblem::kNone;
}

void PngImage::decodeRows() {
  for (int64_t r = 0; r < height_; ++r) {
    const bool kept = r >= first_ && r < last_;
    uint8_t* row = kept ? pixels_.get() + (r - first_) * width_ : nullptr;
    uint8_t* into = kept && bitDepth_ == 8 ? row : scratch_.get();
    const int error = spng_decode_row(context_, into, rowBytes_);
    // The last row answers "end of image" instead of 0.
    if (error != 0 && !(error == SPNG_EOI && r == height_ - 1)) {
      return publish(r, problemOf(error));
    }
    if (kept) {
      if (bitDepth_ != 8) unpackRow(bitDepth_, scratch_.get(), width_, row);
      publish(r + 1, ImageProblem::kNone);
    }
  }
  // The chunks after the image data, up to the end marker, are checked too.
  const int error = spng_decode_chunks(context_);
  publish(height_, error == 0 ? ImageProblem::kNone : problemOf(error));
}

void PngImage::decodeInterlaced(PixelGrid* grid) {
  last_ = height_;
  size_t size = 0;
  int error = spng_decoded_image_size(context_, SPNG_FMT_PNG, &size);
  if (error == 0) {
    // Zeroed first: libspng sets the bits of indices smaller than a byte
    // into it pass by pass, and never clears them.
    pixels_.reset(new (std::nothrow) uint8_t[size]());
    if (!pixels_) return publish(height_, ImageProblem::kOutOfMemory);
    error = spng_decode_image(context_, pixels_.get(), size, SPNG_FMT_PNG, 0);
  }
  if (error == 0) error = spng_decode_chunks(context_);
  publish(height_, error == 0 ? ImageProblem::kNone : problemOf(error));
  grid->rows = pixels_.get();
  grid->rowStep = static_cast<ptrdiff_t>(rowBytes_);
  grid->firstRow = 0;
  grid->bitCount = bitDepth_;
}

void PngImage::publish(int64_t rows, ImageProblem problem) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    rowsDecoded_ = rows;
    if (problem != ImageProblem::kNone) {
      problem_ = problem;
      rowsDecoded_ = height_;
    }
  }
  decoded_.notify_all();
}

bool PngImage::waitForRows(int64_t end) {
  end = std::min(end, last_);
  std::unique_lock<std::mutex> lock(mutex_);
  decoded_.wait(lock, [&] { return rowsDecoded_ >= end; });
  return problem_ == ImageProblem::kNone;
}

ImageProblem PngImage::finish() {
  if (decoder_.joinable()) decoder_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  return problem_;
}

}  // namespace tessarn
