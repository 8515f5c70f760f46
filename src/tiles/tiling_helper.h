// A second thread for the tiling of big rectangles: while the calling
// thread looks tiles up in the dictionary, which must take them one at a
// time in walk order, the helper encodes the tiles after them.
//
// The work is cut into units (up to kUnitTiles tiles of one tile row, in
// walk order). Either thread claims the next unit and encodes it into one of
// kSlots slots; the calling thread takes the units in order as they are
// ready, encoding the next one itself whenever the unit it waits for is not.
// So the answer and the order of every lookup are those of one thread
// alone; only who encodes which unit changes.
//
// The thread is started on demand (start()) and kept for the run; between
// rectangles it waits a moment for the next one before it sleeps, since a
// long job list brings one rectangle after another. Without it, run() does
// the same work on the calling thread alone.

#ifndef TESSARN_TILES_TILING_HELPER_H_
#define TESSARN_TILES_TILING_HELPER_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "tiles/pattern_dictionary.h"

namespace tessarn {

struct EncodedTile {
  Pattern tile;
  uint64_t hash;  // PatternDictionary::hashOf(tile)
};

// One rectangle's work.
class UnitWork {
 public:
  virtual ~UnitWork() = default;
  virtual int64_t units() const = 0;
  // Encodes unit `unit` into `out`; returns its number of tiles. Runs on
  // either thread, at the same time as take(): it may only read what stays
  // as it is while the rectangle is tiled (the image, the colours).
  virtual int encode(int64_t unit, EncodedTile* out) const = 0;
  // The calling thread takes the units in order; false stops the work.
  virtual bool take(int64_t unit, const EncodedTile* tiles, int count) = 0;
};

class TilingHelper {
 public:
  static constexpr int kUnitTiles = 256;
  static constexpr int kSlots = 8;

  TilingHelper();
  TilingHelper(const TilingHelper&) = delete;
  TilingHelper& operator=(const TilingHelper&) = delete;
  ~TilingHelper();

  // Starts the thread if it is not running; false if no thread can be had
  // (run() then works alone).
  bool start();

  // Does `work`: every unit encoded, and taken in order. False if take()
  // stopped it. Returns only once the helper is done with `work`.
  bool run(UnitWork* work);

 private:
  struct Slot {
    std::atomic<int64_t> ready{-1};  // the unit the slot holds, once encoded
    int count = 0;
    EncodedTile tiles[kUnitTiles];
  };

  // Claims the next unit, if its slot is free, and encodes it. False if
  // there was nothing to claim.
  bool encodeNext();
  void serve();
  // Waits until the helper is out of the current work (or never took it).
  void finish();

  std::unique_ptr<Slot[]> slots_;
  // The current work, set before it is posted.
  UnitWork* work_ = nullptr;
  int64_t units_ = 0;
  std::atomic<int64_t> next_{0};   // the next unit to claim
  std::atomic<int64_t> taken_{0};  // units taken: their slots are free again
  std::atomic<bool> stop_{false};

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<uint64_t> posted_{0};    // works posted
  uint64_t started_ = 0;               // (mutex_) the work the helper took last
  uint64_t withdrawn_ = 0;             // (mutex_) a work finished before it was taken
  std::atomic<uint64_t> finished_{0};  // the work the helper finished last
  bool quit_ = false;                  // (mutex_)
};

}  // namespace tessarn

#endif  // TESSARN_TILES_TILING_HELPER_H_
