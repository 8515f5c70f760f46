#include "image/bmp_rows.h"

#include <algorithm>
#include <new>

#include "image/packed_rows.h"

namespace tessarn {
namespace {

// Bytes a kept row takes: 8-bit rows as stored (the padding comes along in
// the same read), others spread to a byte a pixel.
size_t keptRowBytes(const BitmapHeader& header) {
  return static_cast<size_t>(header.bitCount == 8 ? rowStride(8, header.width) : header.width);
}

}  // namespace

bool BmpRows::fits(const BitmapHeader& header, size_t budget) {
  return !header.runLength && keptRowBytes(header) <= budget / 4;
}

void BmpRows::read(RandomAccessFile* file, const BitmapHeader& header, int64_t first, int64_t last, bool on_thread,
                    size_t budget, RowStorage* storage, PixelGrid* grid) {
  file_ = file;
  header_ = header;
  stride_ = rowStride(header.bitCount, header.width);
  // Pieces of a quarter of the budget: few reads, and each short enough for
  // the tiling to start on the rows soon.
  chunkRows_ = std::max<int64_t>(1, static_cast<int64_t>(budget / 4) / stride_);
  const int64_t kept_first = std::clamp<int64_t>(first, 0, header.height);
  const int64_t kept_last = std::clamp<int64_t>(last, kept_first, header.height);
  next_ = kept_first;
  if (header.bitCount != 8) {
    packed_.reset(new uint8_t[static_cast<size_t>(chunkRows_ * stride_)]);
  }
  grid->width = header.width;
  grid->height = header.height;
  // A bottom-up file's rows go in from the end of the memory back, so that
  // a piece of them is read in one go.
  const bool upward = header.bitCount == 8 && !header.topDown;
  ring_.hold(std::min(first, kept_first), kept_first, kept_last, keptRowBytes(header), upward, budget, storage, grid);
  ring_.start(this, on_thread);
}

bool BmpRows::step(RowRing* ring) {
  const int64_t start = next_;
  if (start >= ring->last()) return false;
  if (!ring->waitForRoom(start)) return false;  // the tiling has stopped
  const int64_t end = ring->roomEnd(start, std::min(ring->last(), start + chunkRows_));
  // Rows [start, end) are stored one after another, from `start` down in a
  // top-down file, from `end - 1` up in a bottom-up one.
  const int64_t stored = header_.topDown ? start : header_.height - end;
  const uint64_t offset = header_.pixelOffset + static_cast<uint64_t>(stored * stride_);
  const auto bytes = static_cast<size_t>((end - start) * stride_);
  bool read;
  if (header_.bitCount == 8) {
    read = file_->readAt(offset, ring->rowAt(header_.topDown ? start : end - 1), bytes);
  } else {
    read = file_->readAt(offset, packed_.get(), bytes);
    for (int64_t i = 0; read && i < end - start; ++i) {
      const int64_t row = header_.topDown ? start + i : end - 1 - i;
      unpackRow(header_.bitCount, packed_.get() + i * stride_, header_.width, ring->rowAt(row));
    }
  }
  if (!read) {
    ring->fail(ImageProblem::kReadFailed);
    return false;
  }
  ring->made(end);
  next_ = end;
  return true;
}

}  // namespace tessarn
