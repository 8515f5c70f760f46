// The rows of an image that a rectangle needs, as the tiling reads them:
// made in order by a producer (a PNG decoder, a reader of BMP rows) into
// memory that stays in the cache, and read through a PixelGrid whose feed
// (this) waits for each band of rows before it is read.
//
// Where the rows would take more than a budget of memory, they go round a
// ring: rows the tiling is done with make room for new ones. The ring holds
// whole bands of eight rows counted from the rectangle's top row, so a
// tile's rows are never split by the ring's end. Rows may be laid out from
// the end of the memory back ("upward"), so that rows stored bottom row
// first (as most BMPs store them) are read in one piece.
//
// The producer runs on a thread of its own where the caller asks for one
// and one can be had, so that the tiling takes each row as soon as it is
// made; otherwise it runs on the tiling's thread, whenever the tiling waits
// for rows it has not got. Either way it runs to its end: finish() lets it
// do what is left (a PNG is checked to its end) without keeping rows.
//
// The producer and the tiling share a Handoff: kMade counts the rows made
// (rows before it may be read), kTaken the rows the tiling is done with
// (rows before it may be overwritten). A row goes where the row ringRows
// above it was, so the producer makes row r only once r < kTaken + ringRows.
// Stopping closes the handoff; so does the producer's end on its thread.
//
// Memory for the rows comes from a RowStorage that the caller keeps from
// job to job, so that a long list of jobs does not ask the system for fresh
// pages every time.

#ifndef TESSARN_IMAGE_ROW_RING_H_
#define TESSARN_IMAGE_ROW_RING_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

#include "image/image_problem.h"
#include "image/pixel_grid.h"
#include "threads/handoff.h"

namespace tessarn {

// Memory reused from one image to the next.
class RowStorage {
 public:
  // At least `size` bytes, the same as last time if they suffice.
  uint8_t* get(size_t size);

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_ = 0;
};

class RowRing : public RowFeed {
 public:
  class Producer {
   public:
    virtual ~Producer() = default;
    // Does the next piece of work (makes some rows, or reads on to check
    // the file); false once there is nothing left to do.
    virtual bool step(RowRing* ring) = 0;
  };

  // The most rows memory holds at the default budget.
  static constexpr size_t kDefaultBudget = size_t{256} << 10;

  RowRing() = default;
  RowRing(const RowRing&) = delete;
  RowRing& operator=(const RowRing&) = delete;
  // Stops the producer, if it is still at work.
  ~RowRing() override;

  // Keeps image rows [first, last), `row_bytes` each, for the rectangle
  // whose top row is `origin`, in a ring of at least 16 rows, or all of them
  // where they fit in `budget` bytes. Sets up `grid` to read them (8 bits a
  // pixel).
  void hold(int64_t origin, int64_t first, int64_t last, size_t row_bytes, bool upward, size_t budget,
            RowStorage* storage, PixelGrid* grid);
  // Sets the producer to work; see above.
  void start(Producer* producer, bool on_thread);
  // Waits until the producer is done: kNone, or the problem it met.
  ImageProblem finish();
  // Stops the producer's thread, if it has one, where it is (the rest of
  // its work is not done), and waits for it.
  void stop();

  // For the producer. Rows are made in order, first to last.
  int64_t first() const { return first_; }
  int64_t last() const { return last_; }
  // Whether rows from `row` on are still kept: false once the tiling has
  // stopped. On the producer's own thread it first waits until there is
  // room in the ring for `row`.
  bool waitForRoom(int64_t row);
  // The end of the rows from `row` (up to `end`) that can be made now in
  // one piece: room in the ring for them, and no end of the ring between
  // them. After waitForRoom(row), it is past `row`.
  int64_t roomEnd(int64_t row, int64_t end);
  // Where row `row` goes (its leftmost byte).
  uint8_t* rowAt(int64_t row) { return const_cast<uint8_t*>(layout_.row(row)); }
  // Rows before `end` may be read.
  void made(int64_t end);
  // The image cannot be made; the tiling stops at its next wait.
  void fail(ImageProblem problem);

  // For the tiling.
  bool waitForRows(int64_t first, int64_t end) override;

 private:
  void produce();

  int64_t first_ = 0;
  int64_t last_ = 0;
  int64_t ringRows_ = 0;  // 0: every row has a place of its own
  PixelGrid layout_;      // where the rows go
  Producer* producer_ = nullptr;
  bool threaded_ = false;  // set before the thread starts, and kept
  std::thread thread_;
  Handoff handoff_;
  // Set before the producer's last raise of kMade, read after the wait
  // for it or after the producer has ended.
  std::atomic<ImageProblem> problem_{ImageProblem::kNone};
  bool done_ = false;  // the producer has nothing left to do (read once it has ended)
};

}  // namespace tessarn

#endif  // TESSARN_IMAGE_ROW_RING_H_
