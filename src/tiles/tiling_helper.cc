#include "tiles/tiling_helper.h"

#include <chrono>
#include <system_error>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace tessarn {
namespace {

// A moment's wait in a busy loop: kind to the other hardware thread of a
// core, and every so often a chance for another thread to run.
void pause(int* spins) {
  if (++*spins % 256 == 0) {
    std::this_thread::yield();
    return;
  }
#if defined(__SSE2__) || defined(_M_X64)
  _mm_pause();
#endif
}

// How long the helper waits for the next rectangle before it sleeps: longer
// than a job of a long list takes to read its bitmap.
constexpr auto kLinger = std::chrono::microseconds(200);

}  // namespace

TilingHelper::TilingHelper() = default;

TilingHelper::~TilingHelper() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

bool TilingHelper::start() {
  if (thread_.joinable()) return true;
  try {
    thread_ = std::thread(&TilingHelper::serve, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

bool TilingHelper::encodeNext() {
  int64_t unit = next_.load(std::memory_order_relaxed);
  // Unit u goes where unit u - kSlots was: free once that one is taken.
  if (unit >= units_ || unit >= taken_.load(std::memory_order_acquire) + kSlots) return false;
  if (!next_.compare_exchange_weak(unit, unit + 1, std::memory_order_relaxed)) return true;
  Slot& slot = slots_[static_cast<size_t>(unit % kSlots)];
  slot.count = work_->encode(unit, slot.tiles);
  slot.ready.store(unit, std::memory_order_release);
  return true;
}

bool TilingHelper::run(UnitWork* work) {
  if (!slots_) slots_.reset(new Slot[kSlots]);
  work_ = work;
  units_ = work->units();
  next_.store(0, std::memory_order_relaxed);
  taken_.store(0, std::memory_order_relaxed);
  stop_.store(false, std::memory_order_relaxed);
  for (int s = 0; s < kSlots; ++s) slots_[s].ready.store(-1, std::memory_order_relaxed);
  const bool helped = thread_.joinable();
  if (helped) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      posted_.fetch_add(1, std::memory_order_release);
    }
    wake_.notify_one();
  }
  bool whole = true;
  for (int64_t unit = 0; unit < units_; ++unit) {
    Slot& slot = slots_[static_cast<size_t>(unit % kSlots)];
    int spins = 0;
    while (slot.ready.load(std::memory_order_acquire) != unit) {
      if (!encodeNext()) pause(&spins);
    }
    if (!work->take(unit, slot.tiles, slot.count)) {
      whole = false;
      break;
    }
    taken_.store(unit + 1, std::memory_order_release);
  }
  if (helped) finish();
  return whole;
}

void TilingHelper::finish() {
  stop_.store(true, std::memory_order_relaxed);
  const uint64_t work = posted_.load(std::memory_order_relaxed);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (started_ != work) {
      // Done before the helper came to it: it passes it by.
      withdrawn_ = work;
      return;
    }
  }
  int spins = 0;
  while (finished_.load(std::memory_order_acquire) != work) pause(&spins);
}

void TilingHelper::serve() {
  uint64_t seen = 0;
  for (;;) {
    // A while awake for the next work, then asleep until it comes.
    const auto until = std::chrono::steady_clock::now() + kLinger;
    for (int spins = 0; posted_.load(std::memory_order_acquire) == seen; pause(&spins)) {
      if (spins % 64 == 0 && std::chrono::steady_clock::now() > until) break;
    }
    uint64_t work;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return quit_ || posted_.load(std::memory_order_relaxed) != seen; });
      if (quit_) return;
      work = seen = posted_.load(std::memory_order_relaxed);
      if (withdrawn_ == work) continue;
      started_ = work;
    }
    int spins = 0;
    while (!stop_.load(std::memory_order_relaxed) && next_.load(std::memory_order_relaxed) < units_) {
      if (!encodeNext()) pause(&spins);
    }
    finished_.store(work, std::memory_order_release);
  }
}

}  // namespace tessarn
