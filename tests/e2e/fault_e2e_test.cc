// Hostile conditions, seen from outside the binary: a working directory the
// tool may not write, bitmaps whose headers promise far more than the file
// holds, run-length images at the size limit and under a memory limit,
// rectangles at the ends of the 32-bit range, the pattern limit reached by
// real images, and a job list long enough to show whether the run streams.
// Each case checks the exact messages, exit status and output bytes.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "e2e/expected.h"
#include "e2e/harness.h"
#include "e2e/scenes.h"

namespace tessarn::testing {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

const std::string kTableStage = patternTable({kBlank, kStageTile});

const std::string kOutOfMemory = "\x83\x81\x83\x82\x83\x8A\x82\xAA\x91\xAB\x82\xE8\x82\xDC\x82\xB9\x82\xF1\r\n";

// An info-header BMP declaring the given size, its pixel data starting right
// after the 54-byte header: `data`, then zero bytes up to `total` bytes.
std::string declaredBmp(int32_t width, int32_t height, int bits, uint32_t compression,
                        const std::string& data, size_t total = 0) {
  std::string out = "BM";
  put32(&out, static_cast<uint32_t>(std::max(total, 54 + data.size())));
  put32(&out, 0);
  put32(&out, 54);
  put32(&out, 40);
  put32(&out, static_cast<uint32_t>(width));
  put32(&out, static_cast<uint32_t>(height));
  put16(&out, 1);
  put16(&out, static_cast<uint16_t>(bits));
  put32(&out, compression);
  for (int i = 0; i < 5; ++i) put32(&out, 0);
  out += data;
  if (out.size() < total) out.resize(total, '\0');
  return out;
}

// The same with the 12-byte core header (16-bit sizes, no compression).
std::string declaredCoreBmp(uint16_t width, uint16_t height, int bits, size_t total) {
  std::string out = "BM";
  put32(&out, static_cast<uint32_t>(total));
  put32(&out, 0);
  put32(&out, 26);
  put32(&out, 12);
  put16(&out, width);
  put16(&out, height);
  put16(&out, 1);
  put16(&out, static_cast<uint16_t>(bits));
  out.resize(total, '\0');
  return out;
}

std::string rleDelta(int dx, int dy) {
  return std::string{'\0', '\2', static_cast<char>(dx), static_cast<char>(dy)};
}

// Whether this process can take away its own right to ignore file
// permissions (root can, through the capability bounding set).
bool canDropFileOverride() {
  return std::system("setpriv --bounding-set=-dac_override,-dac_read_search,-fowner true "
                     ">/dev/null 2>&1") == 0;
}

TEST(FaultE2E, UnwritableWorkingDirectory) {
  // Root ignores permission bits; the tool is then run without the
  // capabilities that let it, so the directory is as unwritable to it as to
  // any user.
  std::string wrapper;
  if (geteuid() == 0) {
    if (!canDropFileOverride()) {
      GTEST_SKIP() << "running as root, and setpriv cannot drop CAP_DAC_OVERRIDE here, so no "
                      "directory can be made unwritable to the tool";
    }
    wrapper = "setpriv --bounding-set=-dac_override,-dac_read_search,-fowner --";
  }
  namespace fs = std::filesystem;
  const std::string list =
      "stage.bmp 0 0 16 8 first 0 1 2 3\nstage.bmp 8 0 8 8 then.bin 0 1 2 3\n";

  // No output.txt yet: it cannot be created, and nothing is.
  {
    ScratchDir dir;
    dir.write("stage.bmp", stageBmp());
    dir.write("tessarn.txt", list);
    fs::permissions(dir.path(), fs::perms::owner_write | fs::perms::group_write |
                                    fs::perms::others_write, fs::perm_options::remove);
    RunResult result = dir.run(wrapper);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.console, cannotCreateMessage("output.txt"));
    EXPECT_FALSE(dir.exists("output.txt"));
    EXPECT_FALSE(dir.exists("then.bin"));
  }
  // A writable output.txt already there is rewritten; the binary output
  // cannot be created, which ends the run with the first job's block kept.
  {
    ScratchDir dir;
    dir.write("stage.bmp", stageBmp());
    dir.write("tessarn.txt", list);
    dir.write("output.txt", "old contents");
    fs::permissions(dir.path() / "output.txt", fs::perms::all, fs::perm_options::add);
    fs::permissions(dir.path(), fs::perms::owner_write | fs::perms::group_write |
                                    fs::perms::others_write, fs::perm_options::remove);
    RunResult result = dir.run(wrapper);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.console, cannotCreateMessage("then.bin"));
    EXPECT_EQ(dir.read("output.txt"), mapBlock("first", {{0x0000, 0x0001}}, 2, 1));
    EXPECT_FALSE(dir.exists("then.bin"));
  }
}

TEST(FaultE2E, JobListThatIsADirectoryIsMissing) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.path() / "tessarn.txt");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 28);
  EXPECT_EQ(result.console, kJobListMissing);
  EXPECT_FALSE(dir.exists("output.txt"));
}

TEST(FaultE2E, BitmapThatIsAFifoIsMissingWithoutWaiting) {
  // Nobody writes to the FIFO: opening it must not wait for a writer.
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  ASSERT_EQ(mkfifo((dir.path() / "pipe.bmp").c_str(), 0644), 0);
  dir.write("tessarn.txt", "stage.bmp 0 0 16 8 a 0 1 2 3\npipe.bmp 0 0 8 8 b 0 1 2 3\n");
  RunResult result = dir.run("timeout 10");
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.console, missingMessage("pipe.bmp"));
  EXPECT_EQ(dir.read("output.txt"), mapBlock("a", {{0, 1}}, 2, 1));
}

TEST(FaultE2E, StandardOutputNobodyReads) {
  // Standard output is a pipe whose reader has gone (as in "tessarn | head
  // -1" once head is done): the messages are lost, but the run carries on and
  // its files are written whole. The FIFO is opened for reading and writing,
  // then for writing, and the first is closed: no reader is left.
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("bad.bmp", "BM");
  ASSERT_EQ(mkfifo((dir.path() / "gone.fifo").c_str(), 0644), 0);
  dir.write("tessarn.txt", "bad.bmp 0 0 8 8 a 0 1 2 3\nstage.bmp 0 0 16 8 b.bin 0 1 2 3\n");
  RunResult result =
      dir.run("sh -c 'exec 3<>gone.fifo 4>gone.fifo 3<&-; exec \"$@\" >&4 4>&-' sh");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(dir.read("output.txt"), mapBlock("b.bin", {{0, 1}}, 2, 1) + kTableStage);
  EXPECT_EQ(dir.read("b.bin"), words16({0, 1}) + words16(kBlank) + words16(kStageTile));
}

TEST(FaultE2E, HeadersPromisingMoreThanTheFileHolds) {
  // Each file is 100 bytes long; every job is skipped and the run goes on.
  const std::pair<std::string, std::string> files[] = {
      {"8bit.bmp", declaredBmp(100000, 100000, 8, 0, "", 100)},
      {"1bit.bmp", declaredBmp(100000, 100000, 1, 0, "", 100)},
      {"topdown.bmp", declaredBmp(100000, -100000, 8, 0, "", 100)},
      {"widest.bmp", declaredBmp(INT32_MAX, INT32_MIN, 1, 0, "", 100)},
      {"core.bmp", declaredCoreBmp(65535, 65535, 8, 100)},
      {"offset.bmp", [] {
         std::string b = declaredBmp(4, 4, 8, 0, "", 100);
         b[10] = '\xFF';  // pixel data said to start at byte 0xFF of a 100-byte file
         return b;
       }()},
      {"rle.bmp", declaredBmp(100000, 100000, 8, 1, std::string("\0\1", 2), 100)},
  };
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  std::string list;
  std::string expected_console;
  for (const auto& [name, bytes] : files) {
    ASSERT_EQ(bytes.size(), 100u) << name;
    dir.write(name, bytes);
    list += name + " 0 0 8 8 x 0 1 2 3\n";
    expected_console += name == "rle.bmp" ? compressionMessage(name) : notBmpMessage(name);
  }
  list += "stage.bmp 0 0 16 8 ok 0 1 2 3\n";
  dir.write("tessarn.txt", list);
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console, expected_console);
  EXPECT_EQ(dir.read("output.txt"),
            mapBlock("ok", {{0, 1}}, 2, 1) + patternTable({kBlank, kStageTile}));
}

// 16384 x 16384 is exactly the 2^28 pixels a run-length image may have.
// down.bmp (top-down) has two pixels of index 5 at its top-left and a run of
// eight 7s ending at its bottom-right pixel, reached through delta escapes;
// up.bmp (bottom-up) has the two 5s at its bottom-left.
std::string hugeTopDown() {
  std::string data("\x02\x05", 2);
  for (int i = 0; i < 64; ++i) data += rleDelta(255, 255);  // to (16322, 16320)
  data += rleDelta(54, 63);                                 // to (16376, 16383)
  data += std::string("\x08\x07\x00\x01", 4);
  return declaredBmp(16384, -16384, 8, 1, data);
}
std::string hugeBottomUp() {
  return declaredBmp(16384, 16384, 8, 1, std::string("\x02\x05\x00\x01", 4));
}

const std::string kHugeList =
    "stage.bmp 0 0 16 8 before 0 1 2 3\n"
    "down.bmp 0 0 8 8 top 0 5 2 7\n"
    "down.bmp 16376 16376 16 16 corner 0 5 2 7\n"
    "up.bmp 0 16376 8 8 bottom 0 5 2 7\n"
    "over.bmp 0 0 8 8 x 0 1 2 3\n"
    "square.bmp 0 0 8 8 x 0 1 2 3\n"
    "widest.bmp 0 0 8 8 x 0 1 2 3\n";

void writeHugeFiles(const ScratchDir& dir) {
  dir.write("stage.bmp", stageBmp());
  dir.write("down.bmp", hugeTopDown());
  dir.write("up.bmp", hugeBottomUp());
  // One pixel over the limit, 2^32 pixels, and the largest product a header
  // can declare: refused before anything is allocated.
  dir.write("over.bmp", declaredBmp(16385, 16384, 8, 1, std::string("\0\1", 2)));
  dir.write("square.bmp", declaredBmp(65536, 65536, 8, 1, std::string("\0\1", 2)));
  dir.write("widest.bmp", declaredBmp(INT32_MAX, INT32_MIN, 8, 1, std::string("\0\1", 2)));
}

TEST(FaultE2E, RunLengthImagesAtTheSizeLimit) {
  ScratchDir dir;
  writeHugeFiles(dir);
  dir.write("tessarn.txt", kHugeList);
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console, compressionMessage("over.bmp") + compressionMessage("square.bmp") +
                                compressionMessage("widest.bmp"));
  const TestPattern top = {0x00C0, 0, 0, 0, 0, 0, 0, 0};     // two pixels of colour 1
  const TestPattern corner = {0, 0, 0, 0, 0, 0, 0, 0xFFFF};  // eight of colour 3
  EXPECT_EQ(dir.read("output.txt"),
            mapBlock("before", {{0, 1}}, 2, 1) + mapBlock("top", {{2}}, 1, 1) +
                mapBlock("corner", {{3, 0}, {0, 0}}, 2, 2) +
                mapBlock("bottom", {{0x8002}}, 1, 1) +  // top-bottom mirror of "top"
                patternTable({kBlank, kStageTile, top, corner}));
}

TEST(FaultE2E, RunLengthImageUnderAMemoryLimit) {
  // The 2^28-byte decoding buffer cannot be had: the run says so and ends,
  // keeping what it wrote.
  // An address-space limit, or under AddressSanitizer (which reserves
  // terabytes of address space up front) its own allocation limit. The
  // sanitized tool lets a failed allocation return null by default, with a
  // warning, sent here to a log of its own.
  ScratchDir dir;
  const std::string asan_log = dir.path().string() + ".asan";
  const std::string limit =
      kSanitized ? "ASAN_OPTIONS=max_allocation_size_mb=128:log_path='" + asan_log + "'"
                 : "ulimit -v 131072 &&";
  writeHugeFiles(dir);
  dir.write("tessarn.txt", kHugeList);
  RunResult result = dir.run(limit);
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.console, kOutOfMemory);
  EXPECT_EQ(dir.read("output.txt"), mapBlock("before", {{0, 1}}, 2, 1));
  namespace fs = std::filesystem;
  int logs = 0;
  for (const auto& entry : fs::directory_iterator(dir.path().parent_path())) {
    if (entry.path().string().rfind(asan_log, 0) != 0) continue;
    ++logs;
    std::FILE* log = std::fopen(entry.path().c_str(), "r");
    char text[256] = {};
    const size_t n = log != nullptr ? std::fread(text, 1, sizeof text - 1, log) : 0;
    if (log != nullptr) std::fclose(log);
    EXPECT_NE(std::string(text, n).find("WARNING: AddressSanitizer failed to allocate 0x10000001 bytes"),
              std::string::npos)
        << text;
    fs::remove(entry.path());
  }
  EXPECT_EQ(logs, kSanitized ? 1 : 0);
}

TEST(FaultE2E, RectanglesAtTheEndsOfThe32BitRange) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("tessarn.txt",
            // x + width passes 2^31: two tiles, x = 2^31 - 8 and x = 2^31.
            "stage.bmp 2147483640 0 16 8 right.bin 0 1 2 3\n"
            // Both corners at the most negative value.
            "stage.bmp -2147483648 -2147483648 8 8 low 0 1 2 3\n"
            // Ends exactly at 2^31.
            "stage.bmp 2147483647 2147483647 1 1 edge 0 1 2 3\n"
            // Saturated tokens: x = INT32_MAX, y = INT32_MIN.
            "stage.bmp 99999999999 -99999999999 9 9 sat 0 1 2 3\n"
            // No tiles, but sizes whose tile counts need more than 32 bits
            // on the way: (2^31 - 1 + 7) / 8 and (-2^31 + 7) / 8.
            "stage.bmp 0 0 2147483647 0 wide 0 1 2 3\n"
            "stage.bmp 0 0 -2147483648 -2147483648 negative 0 1 2 3\n"
            // Colours that no palette index has: every pixel is colour 0.
            "stage.bmp 0 0 16 8 none -2147483648 2147483647 256 -1\n"
            // The image itself still converts after all that.
            "stage.bmp 0 0 16 8 last 0 1 2 3\n");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console, "");
  EXPECT_EQ(dir.read("output.txt"),
            mapBlock("right.bin", {{0, 0}}, 2, 1) + mapBlock("low", {{0}}, 1, 1) +
                mapBlock("edge", {{0}}, 1, 1) + mapBlock("sat", {{0, 0}, {0, 0}}, 2, 2) +
                mapBlock("wide", {}, 268435456, 0) +
                mapBlock("negative", {}, -268435455, -268435455) +
                mapBlock("none", {{0, 0}}, 2, 1) + mapBlock("last", {{0, 1}}, 2, 1) +
                patternTable({kBlank, kStageTile}));
  // right.bin stays the current binary output to the end: it has every
  // later job's words too, then the table.
  EXPECT_EQ(dir.read("right.bin"), words16({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}) +
                                       words16(kBlank) + words16(kStageTile));
}

// A 1-bit image of 16384 tiles in a row, each a different pattern that no
// other is a mirror image of: tile t has its top-left pixel set (and no
// other corner), and t + 1 written in binary across rows 1 and 2.
constexpr int kTiles = 16384;

TestPattern limitTile(int t) {
  const int v = t + 1;
  return {0x0080, static_cast<uint16_t>(v & 0xFF), static_cast<uint16_t>(v >> 8), 0, 0, 0, 0, 0};
}

std::string limitImage() {
  BmpSpec bmp;
  bmp.width = 8 * kTiles;
  bmp.height = 8;
  bmp.bitCount = 1;
  bmp.pixels.assign(static_cast<size_t>(bmp.width) * 8, 0);
  for (int t = 0; t < kTiles; ++t) {
    const TestPattern p = limitTile(t);
    for (int r = 0; r < 8; ++r) {
      for (int i = 0; i < 8; ++i) {
        if (p[r] & (0x80 >> i)) bmp.pixels[static_cast<size_t>(r) * bmp.width + 8 * t + i] = 1;
      }
    }
  }
  return writeBmp(bmp);
}

TEST(FaultE2E, PatternLimitReachedThroughRealImages) {
  // Tiles 0 to 16382 fill the dictionary to exactly 16,384 patterns (with
  // the blank one), and the run completes.
  std::vector<uint16_t> words;
  std::vector<TestPattern> patterns = {kBlank};
  for (int t = 0; t < kTiles - 1; ++t) {
    words.push_back(static_cast<uint16_t>(t + 1));
    patterns.push_back(limitTile(t));
  }
  std::string binary = words16(words);
  for (const TestPattern& p : patterns) binary += words16(p);
  const std::string full_block = mapBlock("all.bin", {words}, kTiles - 1, 1);
  {
    ScratchDir dir;
    dir.write("p.bmp", limitImage());
    dir.write("tessarn.txt", "p.bmp 0 0 131064 8 all.bin 0 1 2 3\n");
    RunResult result = dir.run();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.console, "");
    EXPECT_EQ(dir.read("output.txt"), full_block + patternTable(patterns));
    EXPECT_EQ(dir.read("all.bin"), binary);
  }
  // One more job: its first tile is the last pattern stored, its second
  // would be pattern 16,384. The run ends at that tile, keeping the word
  // before it, and neither output gets a pattern table.
  {
    ScratchDir dir;
    dir.write("p.bmp", limitImage());
    dir.write("tessarn.txt",
              "p.bmp 0 0 131064 8 all.bin 0 1 2 3\n"
              "p.bmp 131056 0 16 8 over 0 1 2 3\n"
              "p.bmp 0 0 8 8 never 0 1 2 3\n");
    RunResult result = dir.run();
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.console, kTooManyPatterns);
    EXPECT_EQ(dir.read("output.txt"), full_block + "unsigned short over[]={\r\n\t0x3FFF, ");
    EXPECT_EQ(dir.read("all.bin"), words16(words) + words16({0x3FFF}));
  }
}

// One small bitmap, a list of `jobs` jobs: plain ones, and every hundredth a
// binary output. Checks the outputs and returns the run's peak memory.
long runManyJobs(int jobs) {
  std::string list;
  std::string expected;
  for (int i = 0; i < jobs; ++i) {
    if (i % 100 == 99) {
      list += "stage.bmp 8 0 8 8 s.bin 0 1 2 3\n";
      expected += mapBlock("s.bin", {{1}}, 1, 1);
    } else {
      list += "stage.bmp 0 0 16 8 a 0 1 2 3\n";
      expected += mapBlock("a", {{0, 1}}, 2, 1);
    }
  }
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("tessarn.txt", list);
  list.clear();
  list.shrink_to_fit();
  const std::filesystem::path peak_file = dir.path().string() + ".peak";
  // AddressSanitizer keeps freed memory aside for a while; that would count.
  RunResult result = dir.run(std::string(kSanitized ? "ASAN_OPTIONS=quarantine_size_mb=0 " : "") +
                             TESSARN_PEAK_MEMORY + " '" + peak_file.string() + "'");
  long peak_kb = 0;
  std::FILE* peak = std::fopen(peak_file.c_str(), "r");
  EXPECT_NE(peak, nullptr);
  if (peak != nullptr) {
    EXPECT_EQ(std::fscanf(peak, "%ld", &peak_kb), 1);
    std::fclose(peak);
  }
  std::filesystem::remove(peak_file);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console, "");
  EXPECT_EQ(dir.read("output.txt"), expected + patternTable({kBlank, kStageTile}));
  EXPECT_EQ(dir.read("s.bin"), words16({1}) + words16(kBlank) + words16(kStageTile));
  return peak_kb;
}

TEST(FaultE2E, HundredThousandJobsStream) {
  const long few = runManyJobs(1000);
  const long many = runManyJobs(100000);
  // The 100,000-job run writes about 7 MB of output.txt; holding jobs or
  // output would show as megabytes more than the 1,000-job run.
  EXPECT_GT(few, 0);
  EXPECT_LT(many - few, 1024) << "peak memory (KB): 1,000 jobs " << few << ", 100,000 jobs "
                              << many;
}

}  // namespace
}  // namespace tessarn::testing
