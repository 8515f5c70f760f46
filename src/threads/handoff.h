// Progress passed between one producer thread and one consumer thread: two
// counts that only grow, kMade (how much the producer has finished) and
// kTaken (how much of it the consumer is done with), and a close. Each side
// raises its own count and waits for the other's; what the counts count
// (rows, pieces) and how far the producer may run ahead are the user's.
//
// One scheme, kept plain: both counts and the closed flag are changed only
// under one mutex, every raise wakes the waiters, and a wait sleeps on one
// condition variable until its count reaches the value asked for or the
// handoff is closed. (Before it sleeps, a wait watches its count for a
// moment: most waits are short, and going to sleep and waking again would
// cost more than they last. The counts are atomic for that look alone.)
// A wait that is already met returns at once,
// so a consumer that waits for what the producer made before it closed
// still gets it; a wait not met when the handoff closes returns false, so
// no side can sleep for ever on a side that has stopped. Whatever a side
// wrote before it raised a count, the other side sees after its wait for
// that count returns (the mutex orders them).

#ifndef TESSARN_THREADS_HANDOFF_H_
#define TESSARN_THREADS_HANDOFF_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tessarn {

class Handoff {
 public:
  enum Count { kMade, kTaken };

  // Sets `count` to `value`, which is not below it, and wakes the waiters.
  void raise(Count count, int64_t value);
  // Waits until `count` is `value` or more: true, or false if the handoff
  // closes first.
  bool waitFor(Count count, int64_t value);
  int64_t get(Count count) const;
  // Closes the handoff: from now on waits that are not met return false.
  void close();
  bool closed();
  // Back to both counts at `value`, open, for the next job. Only while no
  // other thread uses it.
  void reset(int64_t value);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<int64_t> counts_[2] = {0, 0};
  bool closed_ = false;
};

}  // namespace tessarn

#endif  // TESSARN_THREADS_HANDOFF_H_
