// Runs of the real binary on real files: the formats, large images, the
// limits of sizes and patterns, names, hostile surroundings. (The rules'
// every case, run in memory, is the run fuzzer's corpus.)

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <zlib.h>

#include <gtest/gtest.h>

#include "e2e/expected.h"
#include "e2e/harness.h"
#include "support/png_writer.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace tessarn::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

#ifndef _WIN32
// The code block that follows `marker` in the README, each line with
// `indent` bytes cut from its start and `line_end` at its end.
std::string readmeBlock(const std::string& readme, const std::string& marker, size_t indent,
                        const std::string& line_end) {
  size_t at = readme.find("\n", readme.find("```", readme.find(marker))) + 1;
  std::string block;
  for (size_t end; readme.compare(at + indent, 3, "```") != 0; at = end + 1) {
    end = readme.find('\n', at);
    block += readme.substr(at + indent, end - at - indent) + line_end;
  }
  return block;
}

// The bundled example converts as the README shows it.
TEST(RunE2E, TheExampleAsTheReadmeShowsIt) {
  ScratchDir dir;
  const fs::path source = TESSARN_SOURCE_DIR;
  for (const char* name : {"tessarn.txt", "scene.bmp"}) fs::copy(source / "examples" / name, dir.path() / name);
  std::ifstream in(source / "README.md", std::ios::binary);
  const std::string readme((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const RunResult result = dir.run("--report");
  const std::string output = dir.read("output.txt");
  const std::string begins = readmeBlock(readme, "The output begins:", 0, "\r\n");
  const std::string ends = readmeBlock(readme, "gets the\npattern table:", 0, "\r\n");
  EXPECT_EQ(output.substr(0, begins.size()), begins);
  EXPECT_EQ(output.substr(output.size() - std::min(output.size(), ends.size())), ends);
  EXPECT_EQ(result.errors, readmeBlock(readme, "--report`: prints on standard error", 2, "\n"));
}
#endif

// A 1-bit grey PNG, index 1 at its top-left pixel and 0 elsewhere.
std::string blankPng(uint32_t width, uint32_t height) {
  std::string header, raw(((width + 7) / 8 + 1) * size_t{height}, '\0');  // each row: filter 0, then bits
  raw[1] = '\x80';
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string data(size, '\0');
  compress2(reinterpret_cast<Bytef*>(data.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
            static_cast<uLong>(raw.size()), Z_BEST_SPEED);
  data.resize(size);
  for (uint32_t v : {width, height}) header += std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  header += "\x01\0\0\0\0"s;  // 1 bit, grey, deflate, no filter method, not interlaced
  return "\x89PNG\r\n\x1A\n"s + pngChunk("IHDR", header) + pngChunk("IDAT", data) + pngChunk("IEND", "");
}

// 16384 x 16384 is exactly the 2^28 pixels a run-length 8-bit image, or a
// PNG, may have: down.bmp (top-down) has two 5s at its top-left and eight
// 7s ending at its bottom-right, reached through deltas; up.bmp (bottom-up)
// has the two 5s at its bottom-left; the others are over the limit.
TEST(RunE2E, ImagesAtTheSizeLimit) {
  ScratchDir dir;
  std::string down = "\x02\x05"s;
  for (int i = 0; i < 64; ++i) down += "\0\2\xFF\xFF"s;  // to (16322, 16320)
  dir.write("stage.bmp", stageBmp());
  dir.write("down.bmp", writeRawBmp(16384, -16384, 8, 1, down + "\0\2\x36\x3F\x08\x07\0\1"s));
  dir.write("up.bmp", writeRawBmp(16384, 16384, 8, 1, "\x02\x05\0\1"s));
  dir.write("over.bmp", writeRawBmp(16385, 16384, 8, 1, "\0\1"s));
  dir.write("widest.bmp", writeRawBmp(INT32_MAX, INT32_MIN, 8, 1, "\0\1"s));
  dir.write("exact.png", blankPng(16384, 16384));
  dir.write("over.png", blankPng(16384, 16385));
  // A text chunk past the 32 MiB a PNG's chunks may keep in memory.
  std::string chunky = blankPng(8, 8);
  dir.write("chunky.png", chunky.insert(chunky.size() - 12, pngChunk("tEXt", "a\0"s + std::string(32 << 20, 'x'))));
  dir.write("tessarn.txt", "stage.bmp 0 0 16 8 before 0 1 2 3\ndown.bmp 0 0 8 8 top 0 5 2 7\n"
                           "down.bmp 16376 16376 16 16 corner 0 5 2 7\nup.bmp 0 16376 8 8 bottom 0 5 2 7\n"
                           "over.bmp 0 0 8 8 x 0 1 2 3\nwidest.bmp 0 0 8 8 x 0 1 2 3\n"
                           "exact.png 0 0 8 8 png 0 1 2 3\nover.png 0 0 8 8 x 0 1 2 3\nchunky.png 0 0 8 8 x 0 1 2 3\n");
  EXPECT_EQ(dir.run().console,
            expectedMessage(MessageId::kUnsupportedCompression, "over.bmp") +
                expectedMessage(MessageId::kUnsupportedCompression, "widest.bmp") +
                expectedMessage(MessageId::kUnsupportedCompression, "over.png") +
                expectedMessage(MessageId::kUnreadablePng, "chunky.png"));
  EXPECT_EQ(dir.read("output.txt"),
            mapBlock("before", {{0, 1}}, 2, 1) + mapBlock("top", {{2}}, 1, 1) +
                mapBlock("corner", {{3, 0}, {0, 0}}, 2, 2) + mapBlock("bottom", {{0x8002}}, 1, 1) +
                mapBlock("png", {{1}}, 1, 1) +
                patternTable({kBlank, kStageTile, {0x00C0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0xFFFF}}));
}

// A 1-bit PNG of 16384 tiles in a row, each a pattern no other is a mirror
// image of: tile t has its top-left pixel set and t + 1 in binary across
// rows 1 and 2. Tiles 0 to 16382 fill the dictionary exactly; a second job
// (blank tiles, then the last two) needs pattern 16,384 at its last tile,
// and the run ends there, with the words up to it written.
TEST(RunE2E, PatternLimitReachedThroughRealImages) {
  constexpr int kTiles = 16384;
  PngSpec png{.width = 8 * kTiles, .height = 8, .pixels = std::vector<uint8_t>(8 * 8 * kTiles), .bitDepth = 1};
  std::vector<uint16_t> words;
  for (int t = 0; t < kTiles; ++t) {
    const uint16_t rows[3] = {0x80, static_cast<uint16_t>((t + 1) & 0xFF), static_cast<uint16_t>((t + 1) >> 8)};
    for (int r = 0; r < 3; ++r) {
      for (int i = 0; i < 8; ++i) png.pixels[static_cast<size_t>(r) * png.width + 8 * t + i] = rows[r] >> (7 - i) & 1;
    }
    if (t + 1 < kTiles) words.push_back(static_cast<uint16_t>(t + 1));
  }
  ScratchDir dir;
  dir.write("p.bmp", writePng(png));
  dir.write("tessarn.txt", "p.bmp 0 0 131064 8 all.bin 0 1 2 3\np.bmp 131056 -8 16 16 over 0 1 2 3\n");
  const RunResult result = dir.run();
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.console, expectedMessage(MessageId::kTooManyPatterns, "16384"));
  EXPECT_EQ(dir.read("output.txt"), mapBlock("all.bin", {words}, kTiles - 1, 1) +
                                        "unsigned short over[]={\r\n\t0x0000, 0x0000, \r\n\t0x3FFF, ");
  EXPECT_EQ(dir.read("all.bin"), words16(words) + words16({0, 0, 0x3FFF}));
}

// A job list or a bitmap that is a directory is missing. A name with a NUL
// is not what the system would see (only the part before the NUL): a
// bitmap so named is missing, an output cannot be created.
TEST(RunE2E, WhatCannotBeOpenedOrCreated) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("output.txt", "kept");
  fs::create_directory(dir.path() / "tessarn.txt");
  EXPECT_EQ(dir.run().status, 28);
  EXPECT_EQ(dir.read("output.txt"), "kept");
  fs::remove(dir.path() / "tessarn.txt");
  fs::create_directory(dir.path() / "dir.bmp");
  const std::pair<std::string, std::string> cases[] = {
      {"dir.bmp 0 0 8 8 d 0 1 2 3", expectedMessage(MessageId::kBitmapMissing, "dir.bmp")},
      {"st\0ge.bmp 0 0 8 8 d.bin 0 1 2 3"s, expectedMessage(MessageId::kBitmapMissing, "st\0ge.bmp"s)},
      {"stage.bmp 0 0 8 8 d\0.bin 0 1 2 3"s, expectedMessage(MessageId::kCannotCreate, "d\0.bin"s)}};
  for (const auto& [job, message] : cases) {
    dir.write("tessarn.txt", "stage.bmp 8 0 8 8 c 0 1 2 3\n" + job);
    EXPECT_EQ(dir.run().console, message);
    EXPECT_EQ(dir.read("output.txt"), mapBlock("c", {{1}}, 1, 1));
  }
}

#ifndef _WIN32
// (Full disks and pipes are checked on Linux; a Windows build
// meets the full disk under Wine, from a Linux build of this suite.)

TEST(RunE2E, FullDiskIsReportedOncePerFile) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("tessarn.txt", "stage.bmp 0 0 16 8 full.bin 0 1 2 3\n");
  fs::create_symlink("/dev/full", dir.path() / "output.txt");
  fs::create_symlink("/dev/full", dir.path() / "full.bin");
  const RunResult result = dir.run();
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.console,
            expectedMessage(MessageId::kWriteFailed, "full.bin") + expectedMessage(MessageId::kWriteFailed, "output.txt"));
}

// Standard output a pipe whose reader has gone ("tessarn | head -1" once
// head is done): the messages are lost, the files written whole. The FIFO is
// opened for reading and writing, then writing, and the first closed.
TEST(RunE2E, ClosedStandardOutputDoesNotEndTheRun) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  ASSERT_EQ(mkfifo((dir.path() / "gone.fifo").c_str(), 0644), 0);
  dir.write("tessarn.txt", "pipe.bmp 0 0 8 8 b 0 1 2 3\nstage.bmp 0 0 16 8 b.bin 0 1 2 3\n");
  dir.write("pipe.bmp", "BM");
  RunResult result = dir.run("", "sh -c 'exec 3<>gone.fifo 4>gone.fifo 3<&-; exec \"$@\" >&4 4>&-' sh");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(dir.read("b.bin"), words16({0, 1}) + words16(kBlank) + words16(kStageTile));
}

#endif

}  // namespace
}  // namespace tessarn::testing
