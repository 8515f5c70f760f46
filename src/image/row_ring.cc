#include "image/row_ring.h"

#include <algorithm>
#include <cassert>
#include <new>
#include <system_error>

namespace tessarn {

uint8_t* RowStorage::get(size_t size) {
  if (size > size_) {
    bytes_.reset();  // first, so that the old and the new are never held at once
    size_ = 0;
    bytes_.reset(new uint8_t[size]);
    size_ = size;
  }
  return bytes_.get();
}

RowRing::~RowRing() { stop(); }

void RowRing::hold(int64_t origin, int64_t first, int64_t last, size_t row_bytes, bool upward, size_t budget,
                   RowStorage* storage, PixelGrid* grid) {
  assert(origin <= first && first <= last);
  first_ = first;
  last_ = last;
  handoff_.reset(first);
  problem_ = ImageProblem::kNone;
  done_ = false;
  const int64_t kept = last - first;
  ringRows_ = std::max<int64_t>(16, static_cast<int64_t>(budget / std::max<size_t>(row_bytes, 1)) / 8 * 8);
  if (ringRows_ >= kept) ringRows_ = 0;
  const int64_t held = ringRows_ != 0 ? ringRows_ : kept;
  // One spare byte, so that no rows still get memory of their own.
  uint8_t* memory = storage->get(static_cast<size_t>(held) * row_bytes + 1);
  const auto step = static_cast<ptrdiff_t>(row_bytes);
  grid->rows = upward && held > 0 ? memory + (held - 1) * step : memory;
  grid->rowStep = upward ? -step : step;
  grid->firstRow = ringRows_ != 0 ? origin : first;
  grid->ringRows = ringRows_;
  grid->bitCount = 8;
  grid->feed = this;
  layout_ = *grid;
  layout_.height = last;
}

void RowRing::start(Producer* producer, bool on_thread) {
  producer_ = producer;
  if (!on_thread) return;
  threaded_ = true;
  try {
    thread_ = std::thread(&RowRing::produce, this);
  } catch (const std::system_error&) {
    // No thread to be had (nor memory for one, below): the producer runs
    // as the tiling waits, as on a machine of one processor.
    threaded_ = false;
  } catch (const std::bad_alloc&) {
    threaded_ = false;
  }
}

void RowRing::produce() {
  while (producer_->step(this)) {
  }
  done_ = true;
  handoff_.close();  // rows not made by now never will be
}

bool RowRing::waitForRoom(int64_t row) {
  if (handoff_.closed()) return false;
  if (ringRows_ == 0 || !threaded_) return true;
  // Waits until half the ring is free, not just one row: fewer wake-ups.
  return row < handoff_.get(Handoff::kTaken) + ringRows_ ||
         handoff_.waitFor(Handoff::kTaken, row - ringRows_ / 2);
}

int64_t RowRing::roomEnd(int64_t row, int64_t end) {
  if (ringRows_ == 0) return end;
  const int64_t ring_end = row - (row - layout_.firstRow) % ringRows_ + ringRows_;
  return std::min({end, handoff_.get(Handoff::kTaken) + ringRows_, ring_end});
}

void RowRing::made(int64_t end) { handoff_.raise(Handoff::kMade, end); }

void RowRing::fail(ImageProblem problem) {
  problem_ = problem;
  handoff_.raise(Handoff::kMade, last_);
}

bool RowRing::waitForRows(int64_t first, int64_t end) {
  end = std::min(end, last_);
  if (first > handoff_.get(Handoff::kTaken)) handoff_.raise(Handoff::kTaken, first);
  bool came;
  if (threaded_) {
    came = handoff_.waitFor(Handoff::kMade, end);
  } else {
    // The producer works here, as long as the rows are not there. (Having
    // released the rows before `first`, it has room for them.)
    while (!done_ && handoff_.get(Handoff::kMade) < end) done_ = !producer_->step(this);
    came = handoff_.get(Handoff::kMade) >= end;
  }
  // A producer that ends without making every row or failing would leave
  // the map short: that is a failed read, not a success.
  if (!came && problem_ == ImageProblem::kNone) problem_ = ImageProblem::kReadFailed;
  return problem_ == ImageProblem::kNone;
}

void RowRing::stop() {
  // The tiling may have stopped early: the rows the producer would wait to
  // keep, nobody will read.
  handoff_.close();
  if (thread_.joinable()) thread_.join();
}

ImageProblem RowRing::finish() {
  stop();
  // On this thread, whatever the producer has left to do.
  while (producer_ != nullptr && !done_) done_ = !producer_->step(this);
  return problem_;
}

}  // namespace tessarn
