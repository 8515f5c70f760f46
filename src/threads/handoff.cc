#include "threads/handoff.h"

#include <cassert>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace tessarn {

void Handoff::raise(Count count, int64_t value) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    assert(value >= counts_[count].load(std::memory_order_relaxed));
    counts_[count].store(value, std::memory_order_release);
  }
  changed_.notify_all();
}

bool Handoff::waitFor(Count count, int64_t value) {
  for (int look = 0; look < 2048; ++look) {
    if (counts_[count].load(std::memory_order_acquire) >= value) return true;
#if defined(__SSE2__) || defined(_M_X64)
    _mm_pause();
#endif
  }
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return counts_[count] >= value || closed_; });
  return counts_[count] >= value;
}

int64_t Handoff::get(Count count) const { return counts_[count].load(std::memory_order_acquire); }

void Handoff::close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

bool Handoff::closed() {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

void Handoff::reset(int64_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  counts_[kMade].store(value, std::memory_order_relaxed);
  counts_[kTaken].store(value, std::memory_order_relaxed);
  closed_ = false;
}

}  // namespace tessarn
