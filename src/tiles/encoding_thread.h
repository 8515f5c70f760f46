// A rectangle's tiles encoded on a thread of its own, in walk order, a
// piece ahead of the calling thread, which looks them up in the dictionary
// (lookups must come one at a time, in order; encoding need not). The
// thread also waits for the grid's rows, so rows read or made as they are
// waited for (a RowRing without a thread of its own) are made there too.
//
// Pieces are up to kPieceTiles tiles of one tile row; kPieces of them are
// encoded ahead at most. The thread stops when every piece is encoded, when
// the grid's rows fail (a piece says so, and is the last), or when it is
// stopped (destroying this stops it).

#ifndef TESSARN_TILES_ENCODING_THREAD_H_
#define TESSARN_TILES_ENCODING_THREAD_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "tiles/pattern_dictionary.h"
#include "tiles/tile_encoder.h"

namespace tessarn {

class EncodingThread {
 public:
  static constexpr int kPieceTiles = 256;
  static constexpr int kPieces = 32;

  struct Piece {
    int64_t tileRow = 0;
    int64_t firstTile = 0;  // in the row
    int count = 0;
    bool rowsFailed = false;  // the row's pixels never came
    UnnamedPixels unnamed;    // of its tiles, if counted
    uint64_t tiles[kPieceTiles * kMaxPatternWords];  // each tile's words, one after another
    uint64_t hashes[kPieceTiles];
    TilePalette palettes[kPieceTiles];
  };

  // The tiles of a rectangle `tiles_wide` x `tiles_high` tiles from (left,
  // top), pixels in `grid`; with `count_unnamed`, each piece counts its
  // tiles' unnamed pixels.
  EncodingThread(const TileEncoder& encoder, const PixelGrid& grid, int64_t left, int64_t top,
                 int64_t tiles_wide, int64_t tiles_high, bool count_unnamed);
  EncodingThread(const EncodingThread&) = delete;
  EncodingThread& operator=(const EncodingThread&) = delete;
  ~EncodingThread();

  // Starts the thread; false if no thread (or no memory for one) can be had.
  bool start();
  // The next piece once it is encoded; null after the last. It stays valid
  // until release().
  const Piece* next();
  void release();

 private:
  void encodeAll();
  // Waits until `value` holds something other than `old`, or stop_.
  void waitWhile(const std::atomic<int64_t>& value, int64_t old);
  // Stores `to` in `value`, and wakes the other thread if it waits on it.
  void advance(std::atomic<int64_t>* value, int64_t to);

  const TileEncoder& encoder_;
  const PixelGrid& grid_;
  const int64_t left_;
  const int64_t top_;
  const int64_t tilesWide_;
  const bool countUnnamed_;
  const int64_t piecesPerRow_;
  const int64_t pieces_;  // in all
  std::unique_ptr<Piece[]> slots_;
  std::atomic<int64_t> encoded_{0};  // pieces encoded (and the failed one)
  std::atomic<int64_t> taken_{0};    // pieces released
  std::atomic<bool> stop_{false};
  std::mutex mutex_;  // for sleeping until encoded_ or taken_ changes
  std::condition_variable changed_;
  std::thread thread_;
};

}  // namespace tessarn

#endif  // TESSARN_TILES_ENCODING_THREAD_H_
