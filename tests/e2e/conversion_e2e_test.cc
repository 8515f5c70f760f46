// Whole conversions through the real binary: images of every kind, the
// checks that skip a job, the map words and patterns they give, and the
// limits of sizes, memory and patterns.

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "e2e/expected.h"
#include "e2e/harness.h"
#include "support/png_writer.h"

namespace tessarn::testing {
namespace {

// The one place the format is spelt out byte by byte; the other cases build
// their expectations with mapBlock() and patternTable().
TEST(ConversionE2E, StageExampleAsTextAndBinary) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("tessarn.txt", "stage.bmp 0 0 16 8 stage 0 1 2 3\r\nstage.bmp 0 0 16 8 stage.bin 0 1 2 3\r\n");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console, "");
  EXPECT_EQ(dir.read("output.txt"),
            "unsigned short stage[]={\r\n\t0x0000, 0x0001, \r\n};\r\n#define W_stage 2\r\n#define H_stage 1\r\n" +
                mapBlock("stage.bin", {{0x0000, 0x0001}}, 2, 1) +
                "\r\n#define MAX_PCG 2\r\nunsigned short PCG_DAT[]={\r\n"
                "\t0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, \r\n"
                "\t0x0080, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, \r\n};\r\n");
  EXPECT_EQ(dir.read("stage.bin"), std::string("\0\0\1\0", 4) + std::string(16, '\0') +
                                       std::string("\x80\0", 2) + std::string(14, '\0'));
}

TEST(ConversionE2E, MirrorsSizesColoursAndEdges) {
  // Four 8x8 blocks in a row: a block and its three mirror images.
  const char* rows[8] = {"3.......", "33......", "..1.....", "...2....", "........", "........", "........", ".......1"};
  BmpSpec mirrors{.width = 32, .height = 8, .pixels = std::vector<uint8_t>(256)};
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const auto index = [&](int r, int c) { return static_cast<uint8_t>(rows[r][c] == '.' ? 0 : rows[r][c] - '0'); };
      mirrors.pixels[y * 32 + x] = index(y, x);
      mirrors.pixels[y * 32 + 8 + x] = index(y, 7 - x);
      mirrors.pixels[y * 32 + 16 + x] = index(7 - y, x);
      mirrors.pixels[y * 32 + 24 + x] = index(7 - y, 7 - x);
    }
  }
  // 16 x 8: palette index 255 down the first column, index 1 at (9, 0).
  BmpSpec edge{.width = 16, .height = 8, .pixels = std::vector<uint8_t>(128)};
  for (int y = 0; y < 8; ++y) edge.pixels[y * 16] = 255;
  edge.pixels[9] = 1;
  ScratchDir dir;
  dir.write("m.bmp", writeBmp(mirrors));
  dir.write("edge.bmp", writeBmp(edge));
  dir.write("tessarn.txt",
            "m.bmp 0 0 16 8 left 0 1 2 3  m.bmp 16 0 16 8 right 0 1 2 3\n"
            // 9 x 12 rounds up to 2 x 2 tiles; index 3 listed twice is colour 1.
            "m.bmp 0 0 9 12 odd 5 3 9 3\n"
            // Tiles starting at width - 8 (inside) and width - 7 (one column out).
            "edge.bmp 0 0 16 8 a 0 1 255 3  edge.bmp 8 0 8 8 b 0 1 255 3  edge.bmp 9 0 8 8 c 0 1 255 3\n");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  // Plane 0 in the low byte, plane 1 in the high byte, leftmost pixel first.
  const TestPattern block = {0x8080, 0xC0C0, 0x0020, 0x1000, 0, 0, 0, 0x0001};
  const TestPattern threes = {0x0080, 0x00C0, 0, 0, 0, 0, 0, 0};
  const TestPattern left_column(8, 0x8000);
  EXPECT_EQ(dir.read("output.txt"),
            mapBlock("left", {{0x0001, 0x4001}}, 2, 1) + mapBlock("right", {{0x8001, 0xC001}}, 2, 1) +
                mapBlock("odd", {{2, 0x4002}, {0, 0}}, 2, 2) + mapBlock("a", {{3, 4}}, 2, 1) +
                mapBlock("b", {{4}}, 1, 1) + mapBlock("c", {{5}}, 1, 1) +
                patternTable({kBlank, block, threes, left_column, {0x0040, 0, 0, 0, 0, 0, 0, 0},
                              {0x0080, 0, 0, 0, 0, 0, 0, 0}}));
}

// Sets a little-endian 32-bit field of a built file.
std::string with32(std::string bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

// An info-header BMP declaring the given size, its pixel data right after
// the 54-byte header: `data`, then zero bytes up to `total` bytes.
std::string declaredBmp(int32_t width, int32_t height, int bits, uint32_t compression,
                        const std::string& data, size_t total = 0) {
  std::string out = writeRawBmp(1, 1, 24, compression, data).substr(0, 54) + data;
  out = with32(with32(out, 18, static_cast<uint32_t>(width)), 22, static_cast<uint32_t>(height));
  out[28] = static_cast<char>(bits);
  out.resize(std::max(out.size(), total), '\0');
  return out;
}

// Each message that skips a job, between jobs that convert. (Every check and
// its order, for every kind of image, is the bitmap fuzzer's corpus.)
TEST(ConversionE2E, RejectedImagesAreSkippedAndTheRunGoesOn) {
  const std::string png = writePng({8, 8, std::vector<uint8_t>(64), 3, 2});
  std::string bad_crc = png;
  bad_crc[29] = static_cast<char>(bad_crc[29] ^ 1);  // IHDR's CRC
  const std::string rle = writeRawBmp(8, 8, 8, 1, std::string("\0\1", 2));
  const std::pair<std::string, Message> cases[] = {
      {"just some text", notBmpMessage},
      {stageBmp().substr(0, 33), notBmpMessage},
      {with32(stageBmp(), 14, 124), nullptr},
      {writeRawBmp(8, 8, 24, 0, std::string(192, '\0')), notIndexedMessage},
      {writeRawBmp(8, 8, 8, 3, std::string(64, '\0')), compressionMessage},
      {writeRawBmp((1 << 28) + 1, -1, 8, 1, ""), compressionMessage},
      {rle, nullptr},
      {png, nullptr},
      {bad_crc, unreadablePngMessage},
      {png.substr(0, png.size() / 2), unreadablePngMessage},
      {writePng({8, 8, std::vector<uint8_t>(64, 1), 0, 16}), notIndexedMessage},
      {writePng({8, 8, std::vector<uint8_t>(64, 1), 2, 8}), notIndexedMessage},
      {png.substr(0, 7), notBmpMessage},  // not even the whole signature
  };
  ScratchDir dir;
  std::string list, expected_console, expected_output;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const std::string name = "case" + std::to_string(i) + ".bmp";
    dir.write(name, cases[i].first);
    list += name + " 0 0 8 8 ok" + std::to_string(i) + " 0 1 2 3\n";
    if (cases[i].second != nullptr) {
      expected_console += cases[i].second(name);
    } else {
      expected_output += mapBlock("ok" + std::to_string(i), {{0}}, 1, 1);
    }
  }
  dir.write("tessarn.txt", list);
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console, expected_console);
  EXPECT_EQ(dir.read("output.txt"), expected_output + patternTable({kBlank}));
}

// Random palette indices below 2^bits, row by row from the top, repeating
// every 64 columns and 40 rows (so that a big image needs few patterns).
std::vector<uint8_t> randomIndices(int width, int height, int bits) {
  std::vector<uint8_t> block;
  unsigned seed = static_cast<unsigned>(bits);
  for (int i = 0; i < 64 * 40; ++i) {
    seed = seed * 1103515245u + 12345u;
    block.push_back(static_cast<uint8_t>((seed >> 16) % (1u << bits)));
  }
  std::vector<uint8_t> out;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) out.push_back(block[y % 40 * 64 + x % 64]);
  }
  return out;
}

// Converts a `width` x `height` `image` with a fixed job list; the exit
// status, console, output.txt and binary output, concatenated.
std::string convertWithFixedJobs(const std::string& image, int width, int height) {
  ScratchDir dir;
  dir.write("img", image);
  dir.write("tessarn.txt", "img 0 0 " + std::to_string(width) + " " + std::to_string(height) +
                               " a.bin 0 1 2 3\nimg -3 5 16 16 b 3 2 1 0\nimg 8 0 13 13 c 13 1 200 3\n");
  const RunResult result = dir.run();
  return std::to_string(result.status) + result.console + dir.read("output.txt") + dir.read("a.bin");
}

// The same indices give the same bytes however the image stores them.
TEST(ConversionE2E, EveryStorageConvertsLikeAnEightBitBmp) {
  using Encode = std::function<std::string(int, int, const std::vector<uint8_t>&)>;
  auto png = [](int colour_type, int depth, bool interlaced = false) -> Encode {
    return [=](int w, int h, const std::vector<uint8_t>& p) { return writePng({w, h, p, colour_type, depth, interlaced}); };
  };
  auto bmp4 = [](bool top_down, bool core, bool run_length) -> Encode {
    return [=](int w, int h, const std::vector<uint8_t>& p) { return writeBmp({w, h, p, 4, core, top_down, run_length}); };
  };
  const struct {
    const char* what;
    int bits;
    Encode encode;
    int width = 21, height = 13;
  } storages[] = {
      {"png palette 1", 1, png(3, 1)},  {"png palette 2", 2, png(3, 2)},
      {"png palette 4", 4, png(3, 4)},  {"png palette 8", 8, png(3, 8)},
      {"png grey 1", 1, png(0, 1)},     {"png grey 2", 2, png(0, 2)},
      {"png grey 4", 4, png(0, 4)},     {"png grey 8", 8, png(0, 8)},
      {"png palette 2 interlaced", 2, png(3, 2, true)},
      {"png grey 8 interlaced", 8, png(0, 8, true)},
      // Decoded through a ring of rows that wraps round twice.
      {"png palette 2, 4 MiB", 2, png(3, 2), 8192, 520},
      {"bmp 4", 4, bmp4(false, false, false)},
      {"bmp 4 top-down", 4, bmp4(true, false, false)},
      {"bmp 4 core header", 4, bmp4(false, true, false)},
      {"bmp 4 run-length", 4, bmp4(false, false, true)},
      {"bmp 4 run-length top-down", 4, bmp4(true, false, true)},
  };
  for (const auto& storage : storages) {
    SCOPED_TRACE(storage.what);
    const int w = storage.width, h = storage.height;
    const std::vector<uint8_t> pixels = randomIndices(w, h, storage.bits);
    EXPECT_EQ(convertWithFixedJobs(storage.encode(w, h, pixels), w, h),
              convertWithFixedJobs(writeBmp({.width = w, .height = h, .pixels = pixels}), w, h));
  }
}

// Run-length data for a 6 x 4 image converts like the 8-bit BMP of the
// indices it stands for, given as stored rows of digits, the bottom row
// first. (Every escape's edge cases are the bitmap fuzzer's corpus.)
TEST(ConversionE2E, RunLengthEscapes) {
  const struct {
    int bits;
    std::vector<uint8_t> data;
    const char* stored;
  } cases[] = {
      // A run, a literal with its pad, end of line, a delta, a run past the
      // row's end, end of bitmap and bytes after it.
      {8, {2, 3, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 9, 2, 0, 0, 1, 1, 0, 1, 3, 3}, "331230 000000 002222 100000"},
      // The same in nibbles: a run's two indices take turns, and a literal of
      // five takes three bytes and a pad.
      {4, {3, 0x12, 0, 3, 0x31, 0x20, 0, 0, 0, 2, 2, 1, 9, 0x23, 0, 0, 0, 5, 0x12, 0x31, 0x20, 0, 1, 0x30, 0, 1, 3, 0x33},
       "121312 000000 002323 123123"},
      // Data that ends in an odd literal with no pad and no end marker.
      {4, {0, 5, 0x12, 0x31, 0x20}, "123120 000000 000000 000000"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> pixels(24);
    for (int i = 0; i < 24; ++i) pixels[i] = static_cast<uint8_t>(c.stored[(3 - i / 6) * 7 + i % 6] - '0');
    EXPECT_EQ(convertWithFixedJobs(writeRawBmp(6, 4, c.bits, c.bits == 8 ? 1 : 2,
                                               std::string(c.data.begin(), c.data.end())), 6, 4),
              convertWithFixedJobs(writeBmp({.width = 6, .height = 4, .pixels = pixels}), 6, 4))
        << c.stored;
  }
}

// 16384 x 16384 is exactly the 2^28 pixels a run-length image may have.
// down.bmp (top-down) has two pixels of index 5 at its top-left and a run of
// eight 7s ending at its bottom-right pixel, reached through deltas; up.bmp
// (bottom-up) has the two 5s at its bottom-left. The others are one pixel
// over the limit, 2^32 pixels, and the largest product a header can declare.
void writeHugeImages(const ScratchDir& dir) {
  std::string down("\x02\x05", 2);
  for (int i = 0; i < 64; ++i) down += std::string("\0\2\xFF\xFF", 4);  // to (16322, 16320)
  down += std::string("\0\2\x36\x3F\x08\x07\0\1", 8);                    // to (16376, 16383)
  dir.write("stage.bmp", stageBmp());
  dir.write("down.bmp", declaredBmp(16384, -16384, 8, 1, down));
  dir.write("up.bmp", declaredBmp(16384, 16384, 8, 1, std::string("\x02\x05\x00\x01", 4)));
  dir.write("over.bmp", declaredBmp(16385, 16384, 8, 1, std::string("\0\1", 2)));
  dir.write("square.bmp", declaredBmp(65536, 65536, 8, 1, std::string("\0\1", 2)));
  dir.write("widest.bmp", declaredBmp(INT32_MAX, INT32_MIN, 8, 1, std::string("\0\1", 2)));
  dir.write("tessarn.txt",
            "stage.bmp 0 0 16 8 before 0 1 2 3\n"
            "down.bmp 0 0 8 8 top 0 5 2 7\n"
            "down.bmp 16376 16376 16 16 corner 0 5 2 7\n"
            "up.bmp 0 16376 8 8 bottom 0 5 2 7\n"
            "over.bmp 0 0 8 8 x 0 1 2 3\nsquare.bmp 0 0 8 8 x 0 1 2 3\nwidest.bmp 0 0 8 8 x 0 1 2 3\n");
}

TEST(ConversionE2E, RunLengthImagesAtTheSizeLimit) {
  ScratchDir dir;
  writeHugeImages(dir);
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console,
            compressionMessage("over.bmp") + compressionMessage("square.bmp") + compressionMessage("widest.bmp"));
  EXPECT_EQ(dir.read("output.txt"),
            mapBlock("before", {{0, 1}}, 2, 1) + mapBlock("top", {{2}}, 1, 1) +
                mapBlock("corner", {{3, 0}, {0, 0}}, 2, 2) + mapBlock("bottom", {{0x8002}}, 1, 1) +
                patternTable({kBlank, kStageTile, {0x00C0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0xFFFF}}));
}

#ifndef _WIN32
#if defined(__SANITIZE_ADDRESS__)
#define TESSARN_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSARN_TEST_SANITIZED 1
#endif
#endif
#ifdef TESSARN_TEST_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

TEST(ConversionE2E, RunLengthImageUnderAMemoryLimit) {
  // The 2^28-byte decoding buffer cannot be had: the run says so and ends,
  // keeping what it wrote. An address-space limit, or under AddressSanitizer
  // (which reserves terabytes of address space up front) its own allocation
  // limit, its warning sent to a log of its own.
  ScratchDir dir;
  writeHugeImages(dir);
  const std::string limit = kSanitized ? "ASAN_OPTIONS=max_allocation_size_mb=128:log_path=" + dir.path().string() + "/asan"
                                       : "ulimit -v 131072 &&";
  RunResult result = dir.run(limit);
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.console, kOutOfMemory);
  EXPECT_EQ(dir.read("output.txt"), mapBlock("before", {{0, 1}}, 2, 1));
}
#endif

TEST(ConversionE2E, RectanglesAtTheEndsOfThe32BitRange) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("tessarn.txt",
            "stage.bmp 2147483640 0 16 8 right.bin 0 1 2 3\n"  // x + width passes 2^31
            "stage.bmp -2147483648 -2147483648 8 8 low 0 1 2 3\n"
            "stage.bmp 2147483647 2147483647 1 1 edge 0 1 2 3\n"        // ends exactly at 2^31
            "stage.bmp 99999999999 -99999999999 9 9 sat 0 1 2 3\n"      // saturated tokens
            "stage.bmp 0 0 2147483647 0 wide 0 1 2 3\n"                  // tile counts past 32 bits
            "stage.bmp 0 0 -2147483648 -2147483648 negative 0 1 2 3\n"
            "stage.bmp 0 0 16 8 none -2147483648 2147483647 256 -1\n"   // colours no index has
            "stage.bmp 0 0 16 8 last 0 1 2 3\n");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console, "");
  EXPECT_EQ(dir.read("output.txt"),
            mapBlock("right.bin", {{0, 0}}, 2, 1) + mapBlock("low", {{0}}, 1, 1) + mapBlock("edge", {{0}}, 1, 1) +
                mapBlock("sat", {{0, 0}, {0, 0}}, 2, 2) + mapBlock("wide", {}, 268435456, 0) +
                mapBlock("negative", {}, -268435455, -268435455) + mapBlock("none", {{0, 0}}, 2, 1) +
                mapBlock("last", {{0, 1}}, 2, 1) + kStageTable);
  // right.bin stays current to the end: every later job's words, then the table.
  EXPECT_EQ(dir.read("right.bin"),
            words16({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}) + words16(kBlank) + words16(kStageTile));
}

// A 1-bit image of 16384 tiles in a row, each a pattern no other is a mirror
// image of: tile t has its top-left pixel set and t + 1 in binary across
// rows 1 and 2. Tiles 0 to 16382 fill the dictionary exactly.
TEST(ConversionE2E, PatternLimitReachedThroughRealImages) {
  constexpr int kTiles = 16384;
  auto tile = [](int t) -> TestPattern {
    return {0x0080, static_cast<uint16_t>((t + 1) & 0xFF), static_cast<uint16_t>((t + 1) >> 8), 0, 0, 0, 0, 0};
  };
  BmpSpec bmp{.width = 8 * kTiles, .height = 8, .pixels = std::vector<uint8_t>(8 * 8 * kTiles), .bitCount = 1};
  std::vector<uint16_t> words;
  std::vector<TestPattern> patterns = {kBlank};
  for (int t = 0; t < kTiles; ++t) {
    for (int r = 0; r < 8; ++r) {
      for (int i = 0; i < 8; ++i) bmp.pixels[static_cast<size_t>(r) * bmp.width + 8 * t + i] = tile(t)[r] >> (7 - i) & 1;
    }
    if (t == kTiles - 1) break;
    words.push_back(static_cast<uint16_t>(t + 1));
    patterns.push_back(tile(t));
  }
  const std::string full_block = mapBlock("all.bin", {words}, kTiles - 1, 1);
  ScratchDir dir;
  dir.write("p.bmp", writeBmp(bmp));
  dir.write("tessarn.txt", "p.bmp 0 0 131064 8 all.bin 0 1 2 3\n");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  std::string table_words;
  for (const TestPattern& p : patterns) table_words += words16(p);
  EXPECT_EQ(dir.read("output.txt"), full_block + patternTable(patterns));
  EXPECT_EQ(dir.read("all.bin"), words16(words) + table_words);
  // One more job: its first tile is the last pattern stored, its second
  // would be pattern 16,384. The run ends at that tile, keeping the word
  // before it, and neither output gets a pattern table.
  dir.write("tessarn.txt", "p.bmp 0 0 131064 8 all.bin 0 1 2 3\np.bmp 131056 0 16 8 over 0 1 2 3\n"
                           "p.bmp 0 0 8 8 never 0 1 2 3\n");
  result = dir.run();
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.console, kTooManyPatterns);
  EXPECT_EQ(dir.read("output.txt"), full_block + "unsigned short over[]={\r\n\t0x3FFF, ");
  EXPECT_EQ(dir.read("all.bin"), words16(words) + words16({0x3FFF}));
}

}  // namespace
}  // namespace tessarn::testing
