#include "tiles/encoding_thread.h"

#include <algorithm>
#include <new>
#include <system_error>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

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
  stop_.store(true, std::memory_order_relaxed);
  // Room for every piece: a thread waiting for room wakes, and sees stop_.
  advance(&taken_, pieces_ + kPieces);
  if (thread_.joinable()) thread_.join();
}

bool EncodingThread::start() {
  // Without a thread (or memory for one), the tiling is done on one.
  try {
    slots_.reset(new Piece[kPieces]);
    thread_ = std::thread(&EncodingThread::encodeAll, this);
  } catch (const std::system_error&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void EncodingThread::waitWhile(const std::atomic<int64_t>& value, int64_t old) {
  // Most waits are short: a moment's spinning saves going to sleep, and
  // the time it takes to wake again.
  for (int spins = 0; spins < 2048; ++spins) {
    if (value.load(std::memory_order_acquire) != old) return;
#if defined(__SSE2__) || defined(_M_X64)
    _mm_pause();
#endif
  }
  // Not std::atomic::wait: MinGW's libstdc++ 12 can miss its wake-up (it
  // checks the value, then sleeps, with no lock against the notifier).
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return value.load(std::memory_order_acquire) != old; });
}

void EncodingThread::advance(std::atomic<int64_t>* value, int64_t to) {
  {
    // Under the lock: a thread about to sleep on `value` has either seen it
    // change, or is asleep before the wake-up comes.
    std::lock_guard<std::mutex> lock(mutex_);
    value->store(to, std::memory_order_release);
  }
  changed_.notify_all();
}

void EncodingThread::encodeAll() {
  for (int64_t piece = 0; piece < pieces_; ++piece) {
    for (int64_t taken; piece >= (taken = taken_.load(std::memory_order_acquire)) + kPieces;) {
      waitWhile(taken_, taken);
    }
    if (stop_.load(std::memory_order_relaxed)) return;
    Piece& slot = slots_[static_cast<size_t>(piece % kPieces)];
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
    advance(&encoded_, piece + 1);
    if (slot.rowsFailed) return;
  }
}

const EncodingThread::Piece* EncodingThread::next() {
  const int64_t piece = taken_.load(std::memory_order_relaxed);
  if (piece >= pieces_) return nullptr;
  for (int64_t encoded; (encoded = encoded_.load(std::memory_order_acquire)) <= piece;) {
    waitWhile(encoded_, encoded);
  }
  return &slots_[static_cast<size_t>(piece % kPieces)];
}

void EncodingThread::release() {
  advance(&taken_, taken_.load(std::memory_order_relaxed) + 1);
}

}  // namespace tessarn
