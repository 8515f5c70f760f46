// Memory running out at every allocation of a run, in turn.
//
// This binary replaces the global operator new. A whole run is driven in
// memory once to count its allocations; then, for each k, again with the
// k-th allocation failing (throwing std::bad_alloc, or returning null for the
// nothrow forms), either once or for every allocation from then on. Each
// time the run must return (no exception escapes), say "out of memory" as
// its last message with status -1, and have written a prefix of what the
// complete run writes: what was written stays, nothing wrong is added.

#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

#include "e2e/expected.h"
#include "run/run_driver.h"
#include "support/memory_file_system.h"
#include "support/png_writer.h"
#include "views/run_report.h"

namespace {

// Allocations left before failures start while armed, or -1.
long g_countdown = -1;
bool g_keep_failing = false;
long g_allocations = 0;  // counted while armed

bool failThisAllocation() {
  if (g_countdown < 0) return false;
  ++g_allocations;
  if (g_countdown > 0) {
    --g_countdown;
    return false;
  }
  if (!g_keep_failing) g_countdown = -1;
  return true;
}

void* allocate(size_t size) { return std::malloc(size == 0 ? 1 : size); }

}  // namespace

// The replacements below pair malloc with free; gcc takes them for the
// mismatch they replace.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(size_t size) {
  void* p = failThisAllocation() ? nullptr : allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return failThisAllocation() ? nullptr : allocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return failThisAllocation() ? nullptr : allocate(size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace tessarn {
namespace {

// A run's files, set up before any failure is armed, and a report watching
// it. The outputs and the console are given room in advance, so that
// writing them needs no allocation: only the converter's own fail.
struct MemoryRun {
  MemoryFileSystem files;
  MemoryFileSystem console_files;
  std::unique_ptr<WriteStream> console = console_files.create("console");
  RunReport report;

  MemoryRun() {
    testing::BmpSpec rle{.width = 16, .height = 16, .pixels = std::vector<uint8_t>(256, 2), .runLength = true};
    files.files = {{"tessarn.txt",
                    "stage.bmp 0 0 16 8 first 0 1 2 3\nbroken.bmp 0 0 8 8 skipped 0 1 2 3\n"
                    "rle.bmp 0 0 16 16 middle.bin 0 1 2 3\np.png 0 0 16 16 png 0 1 2 3\n"
                    "stage.bmp 8 0 8 8 a_name_too_long_for_any_small_string_buffer 3 2 1 0\n"},
                   {"stage.bmp", testing::stageBmp()},
                   {"rle.bmp", testing::writeBmp(rle)},
                   {"p.png", testing::writePng({16, 16, std::vector<uint8_t>(256, 1), 3, 2})},
                   {"broken.bmp", "BM"}};
    files.files["output.txt"].reserve(1 << 16);
    files.files["middle.bin"].reserve(1 << 16);
    console_files.files["console"].reserve(1 << 12);
  }
  const std::string& messages() { return console_files.files["console"]; }
};

struct Outcome {
  int status = 0;
  bool escaped = false;
  long allocations = 0;
};

Outcome runWithFailure(MemoryRun* m, long countdown, bool keep_failing) {
  Outcome out;
  g_allocations = 0;
  g_keep_failing = keep_failing;
  g_countdown = countdown;
  try {
    out.status = runMain(&m->files, m->console.get(), {MessageLanguage::kShiftJis, &m->report});
  } catch (...) {
    out.escaped = true;
  }
  g_countdown = -1;
  out.allocations = g_allocations;
  return out;
}

bool isPrefix(const std::string& part, const std::string& whole) { return whole.rfind(part, 0) == 0; }

TEST(AllocationFailureTest, EveryAllocationCanFail) {
  MemoryRun reference;
  const Outcome complete = runWithFailure(&reference, LONG_MAX, false);
  ASSERT_FALSE(complete.escaped);
  ASSERT_EQ(complete.status, kExitSuccess);
  ASSERT_GT(complete.allocations, 10);
  const std::string out_of_memory = formatMessage(MessageId::kOutOfMemory);
  for (bool keep_failing : {false, true}) {
    for (long k = 0; k < complete.allocations; ++k) {
      SCOPED_TRACE(::testing::Message() << (keep_failing ? "from" : "only") << " allocation " << k);
      MemoryRun m;
      const Outcome o = runWithFailure(&m, k, keep_failing);
      ASSERT_FALSE(o.escaped) << "an exception escaped the run";
      EXPECT_EQ(o.status, kExitFailure);
      const std::string& messages = m.messages();
      ASSERT_GE(messages.size(), out_of_memory.size());
      EXPECT_EQ(messages.substr(messages.size() - out_of_memory.size()), out_of_memory);
      EXPECT_TRUE(isPrefix(messages.substr(0, messages.size() - out_of_memory.size()), reference.messages()));
      EXPECT_TRUE(isPrefix(m.files.files["output.txt"], reference.files.files["output.txt"]));
      EXPECT_TRUE(isPrefix(m.files.files["middle.bin"], reference.files.files["middle.bin"]));
    }
  }
}

}  // namespace
}  // namespace tessarn
