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
  rowBytes_ = row_bytes;
  upward_ = upward;
  made_ = released_ = first;
  const int64_t kept = last - first;
  ringRows_ = std::max<int64_t>(16, static_cast<int64_t>(budget / std::max<size_t>(row_bytes, 1)) / 8 * 8);
  if (ringRows_ >= kept) ringRows_ = 0;
  const int64_t held = ringRows_ != 0 ? ringRows_ : kept;
  origin_ = ringRows_ != 0 ? origin : first;
  // One spare byte, so that no rows still get memory of their own.
  memory_ = storage->get(static_cast<size_t>(held) * row_bytes + 1);
  const auto step = static_cast<ptrdiff_t>(row_bytes);
  grid->rows = upward && held > 0 ? memory_ + (held - 1) * step : memory_;
  grid->rowStep = upward ? -step : step;
  grid->firstRow = origin_;
  grid->ringRows = ringRows_;
  grid->bitCount = 8;
  grid->feed = this;
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
  std::lock_guard<std::mutex> lock(mutex_);
  done_ = true;
}

uint8_t* RowRing::rowAt(int64_t row) {
  const int64_t held = ringRows_ != 0 ? ringRows_ : last_ - first_;
  const int64_t slot = ringRows_ != 0 ? (row - origin_) % ringRows_ : row - origin_;
  return memory_ + static_cast<size_t>(upward_ ? held - 1 - slot : slot) * rowBytes_;
}

int64_t RowRing::roomFrom(int64_t row, int64_t end) {
  std::unique_lock<std::mutex> lock(mutex_);
  // (Once stopped, released_ is at its end: no sums with it.)
  if (stopped_) return row;
  if (ringRows_ == 0) return end;
  if (threaded_ && row >= released_ + ringRows_) {
    // Wait until half the ring is free, not just one row: fewer wake-ups.
    producerWaitsFor_ = row - ringRows_ / 2;
    roomFree_.wait(lock, [&] { return released_ >= producerWaitsFor_; });
    producerWaitsFor_ = INT64_MAX;
  }
  if (stopped_) return row;
  const int64_t ring_end = row - (row - origin_) % ringRows_ + ringRows_;
  return std::max(row, std::min({end, released_ + ringRows_, ring_end}));
}

void RowRing::made(int64_t end) {
  std::lock_guard<std::mutex> lock(mutex_);
  made_ = end;
  if (made_ >= tilingWaitsFor_) rowsReady_.notify_one();
}

void RowRing::fail(ImageProblem problem) {
  std::lock_guard<std::mutex> lock(mutex_);
  problem_ = problem;
  made_ = last_;
  rowsReady_.notify_one();
}

bool RowRing::waitForRows(int64_t first, int64_t end) {
  end = std::min(end, last_);
  std::unique_lock<std::mutex> lock(mutex_);
  if (first > released_) {
    released_ = first;
    if (released_ >= producerWaitsFor_) roomFree_.notify_one();
  }
  if (!threaded_) {
    // The producer works here, as long as the rows are not there. (Having
    // released the rows before `first`, it has room for them.)
    while (made_ < end && problem_ == ImageProblem::kNone && !done_) {
      lock.unlock();
      const bool more = producer_->step(this);
      lock.lock();
      done_ = !more;
    }
    assert(made_ >= end || problem_ != ImageProblem::kNone);
  } else if (made_ < end) {
    tilingWaitsFor_ = end;
    rowsReady_.wait(lock, [&] { return made_ >= end; });
    tilingWaitsFor_ = INT64_MAX;
  }
  return problem_ == ImageProblem::kNone;
}

void RowRing::stop() {
  {
    // The tiling may have stopped early: the rows the producer would wait
    // to keep, nobody will read.
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    released_ = INT64_MAX;
    roomFree_.notify_one();
  }
  if (thread_.joinable()) thread_.join();
}

ImageProblem RowRing::finish() {
  stop();
  // On this thread, whatever the producer has left to do.
  while (producer_ != nullptr && !done_) done_ = !producer_->step(this);
  std::lock_guard<std::mutex> lock(mutex_);
  return problem_;
}

}  // namespace tessarn
