// A rectangle's tiles encoded on a thread of its own, in walk order, a
// piece ahead of the calling thread, which looks them up in the dictionary
// (lookups must come one at a time, in order; encoding need not). The
// thread also waits for the grid's rows, so rows read or made as they are
// waited for (a RowRing without a thread of its own) are made there too.
//
// Pieces are up to kPieceTiles tiles of one tile row, numbered in walk
// order; piece p is encoded into slot p % kPieces. The two threads share a
// Handoff: kMade counts the pieces encoded, kTaken the pieces released.
// The thread writes piece p only once kTaken > p - kPieces (its slot's
// last piece is released), and the caller reads it only while
// kTaken <= p < kMade, so no slot is ever written and read at once. The
// thread stops when every piece is encoded, when the grid's rows fail (a
// piece says so, and is the last), or when it is stopped (destroying this
// stops it); either way it closes the handoff as it ends.

#ifndef TESSARN_TILES_ENCODING_THREAD_H_
#define TESSARN_TILES_ENCODING_THREAD_H_

#include <cstdint>
#include <memory>
#include <thread>

#include "threads/handoff.h"

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
  void encode(int64_t piece);

  const TileEncoder& encoder_;
  const PixelGrid& grid_;
  const int64_t left_;
  const int64_t top_;
  const int64_t tilesWide_;
  const bool countUnnamed_;
  const int64_t piecesPerRow_;
  const int64_t pieces_;  // in all
  std::unique_ptr<Piece[]> ring_;  // kPieces slots
  Handoff handoff_;
  int64_t taken_ = 0;  // the caller's copy of kTaken
  std::thread thread_;
};

}  // namespace tessarn

#endif  // TESSARN_TILES_ENCODING_THREAD_H_
