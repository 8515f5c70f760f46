#include "tiles/encoding_thread.h"

#include <algorithm>
#include <new>
#include <system_error>


namespace tessarn {

EncodingThread::EncodingThread(const TileEncoder& encoder, const PixelGrid& grid, int64_t left, int64_t top,
                               int64_t tiles_wide, int64_t tiles_high, bool count_unnamed)
    : encoder_(encoder),
      grid_(grid),
      left_(left),
      top_(top),
      tilesWide_(tiles_wide),
      countUnnamed_(count_unnamed),
      piecesPerRow_((tiles_wide + kPieceTiles - 1) / kPieceTiles),
      pieces_(piecesPerRow_ * tiles_high) {}

EncodingThread::~EncodingThread() {
  handoff_.close();  // a thread waiting for a slot wakes, and ends
  if (thread_.joinable()) thread_.join();
}

bool EncodingThread::start() {
  // Without a thread (or memory for one), the tiling is done on one.
  try {
    ring_.reset(new Piece[kPieces]);
    thread_ = std::thread(&EncodingThread::encodeAll, this);
  } catch (const std::system_error&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void EncodingThread::encodeAll() {
  for (int64_t piece = 0; piece < pieces_; ++piece) {
    if (!handoff_.waitFor(Handoff::kTaken, piece - kPieces + 1)) break;  // stopped
    encode(piece);
    handoff_.raise(Handoff::kMade, piece + 1);
    if (ring_[static_cast<size_t>(piece % kPieces)].rowsFailed) break;
  }
  handoff_.close();
}

void EncodingThread::encode(int64_t piece) {
  Piece& slot = ring_[static_cast<size_t>(piece % kPieces)];
  slot.tileRow = piece / piecesPerRow_;
  slot.firstTile = piece % piecesPerRow_ * kPieceTiles;
  slot.count = static_cast<int>(std::min<int64_t>(kPieceTiles, tilesWide_ - slot.firstTile));
  const int64_t top = top_ + 8 * slot.tileRow;
  // The rows of a tile row are waited for as it starts: the tiles before
  // it are all encoded, so the rows before it are no longer needed.
  slot.rowsFailed = slot.firstTile == 0 && grid_.feed != nullptr && !grid_.feed->waitForRows(top, top + 8);
  slot.unnamed = {};
  if (!slot.rowsFailed) {
    encoder_.encode(left_ + 8 * slot.firstTile, top, slot.count, slot.tiles, slot.hashes, slot.palettes,
                    countUnnamed_ ? &slot.unnamed : nullptr);
  }
}

const EncodingThread::Piece* EncodingThread::next() {
  if (taken_ >= pieces_ || !handoff_.waitFor(Handoff::kMade, taken_ + 1)) return nullptr;
  return &ring_[static_cast<size_t>(taken_ % kPieces)];
}

void EncodingThread::release() { handoff_.raise(Handoff::kTaken, ++taken_); }

}  // namespace tessarn
